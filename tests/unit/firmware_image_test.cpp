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

TEST(FirmwareImage, IsTextEndingInTheEndRecord)
{
    ASSERT_GT(firmware_length, 0u);
    EXPECT_EQ(std::strlen(firmware), firmware_length) << "the image holds a NUL";
    const char tail[] = ":00000001FF\r\n";
    EXPECT_EQ(std::memcmp(firmware + firmware_length - (sizeof tail - 1), tail, sizeof tail - 1), 0);
}

TEST(FirmwareImage, EveryLineEndsWithCrLfAndHexDigitsAreUpperCase)
{
    const intel_hex_reading reading = read_built_in_image();
    ASSERT_EQ(reading.error, "");  // the reader verifies every checksum
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
