// The form of the image the build carries, whichever file it was built from.
#include "device/firmware.h"
#include "intel_hex.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

intel_hex_reading read_built_in_image()
{
    return intel_hex_read(firmware, firmware_length);
}

TEST(FirmwareImage, IsTextOfTheFixedSizeEndingInTheEndRecord)
{
    ASSERT_EQ(firmware_length, 14958u);
    EXPECT_EQ(std::strlen(firmware), firmware_length) << "the image holds a NUL";
    const char tail[] = ":00000001FF\r\n";
    EXPECT_EQ(std::memcmp(firmware + firmware_length - (sizeof tail - 1), tail, sizeof tail - 1), 0);
}

TEST(FirmwareImage, EveryLineEndsWithCrLfAndHexDigitsAreUpperCase)
{
    const intel_hex_reading reading = read_built_in_image();
    ASSERT_EQ(reading.error, "");
    for (gsize i = 0; i < firmware_length; ++i) {
        const char c = firmware[i];
        EXPECT_FALSE(c >= 'a' && c <= 'z') << "lower case at byte " << i;
        if (c == '\r') {
            EXPECT_EQ(firmware[i + 1], '\n') << "bare CR at byte " << i;
        }
        if (c == '\n') {
            EXPECT_EQ(firmware[i - 1], '\r') << "bare LF at byte " << i;
        }
    }
}

TEST(FirmwareImage, HoldsTheFixedRecordLayoutWithValidChecksums)
{
    const intel_hex_reading reading = read_built_in_image();
    ASSERT_EQ(reading.error, "");  // the reader verifies every checksum
    ASSERT_EQ(reading.records.size(), 334u);

    unsigned expected_address = 0;
    for (unsigned i = 0; i < 333; ++i) {
        const intel_hex_record &record = reading.records[i];
        ASSERT_EQ(record.type, 0u) << "record " << i;
        ASSERT_EQ(record.address, expected_address) << "record " << i;
        const unsigned expected_size = i < 331 ? 16 : i == 331 ? 4 : 8;
        ASSERT_EQ(record.data.size(), expected_size) << "record " << i;
        if (i < 331) {
            EXPECT_EQ(record.line.size(), 43u) << "record " << i;
        }
        expected_address += expected_size;
    }
    EXPECT_EQ(reading.records[331].address, 0x14B0u);
    EXPECT_EQ(reading.records[332].address, 0x14B4u);
    EXPECT_EQ(expected_address, 0x14BCu);  // last data byte at 0x14BB
    EXPECT_EQ(reading.records[333].line, ":00000001FF");
}

TEST(FirmwareImage, CarriesDataBytesWithoutGap)
{
    const std::vector<unsigned char> data = intel_hex_flat_data(read_built_in_image());
    EXPECT_EQ(data.size(), 5308u);
}

// The reader that the checks above rest on must refuse what the image must not hold.
TEST(IntelHexReader, RefusesBadChecksumsAndLineEndings)
{
    const char good[] = ":0400000001020304F2\r\n:00000001FF\r\n";
    EXPECT_EQ(intel_hex_read(good, sizeof good - 1).error, "");
    const char bad_sum[] = ":0400000001020304F3\r\n";
    EXPECT_NE(intel_hex_read(bad_sum, sizeof bad_sum - 1).error, "");
    const char bare_lf[] = ":0400000001020304F2\n";
    EXPECT_NE(intel_hex_read(bare_lf, sizeof bare_lf - 1).error, "");
    const char no_ending[] = ":00000001FF";
    EXPECT_NE(intel_hex_read(no_ending, sizeof no_ending - 1).error, "");
    const char short_count[] = ":0500000001020304F1\r\n";
    EXPECT_NE(intel_hex_read(short_count, sizeof short_count - 1).error, "");
}

}  // namespace
