// TAP images made from dumps: the entries at the edges of their two forms,
// each machine's header and clock, half waves, real tapes converted there and
// back, and what a full disk leaves.
#include "tape/tap_writer.h"
#include "config_home.h"
#include "tape_file.h"
#include "tape_synth.h"
#include "tape_tap.h"
#include "tape_testing.h"
#include "test_pty.h"
#include "test_small_filesystem.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

sampling_option_values options_for(int machine_type, int video_standard, int both_edges = 0)
{
    return sampling_option_values{machine_type, video_standard, both_edges, 0};
}

// The TAP image made from a dump of these samples.
bytes tap_of(const std::vector<unsigned short> &samples, const sampling_option_values &options)
{
    test_folder folder;
    std::string dmp = folder.path() + "/tape.DMP";
    std::string tap = folder.path() + "/tape.tap";
    std::string error;
    EXPECT_TRUE(dmp_write_file(dmp.c_str(), samples, &error)) << error;
    GError *failure = nullptr;
    EXPECT_TRUE(tap_write_file_from_dmp(dmp.c_str(), tap.c_str(), 1, &options, nullptr, &failure));
    if (failure) {
        ADD_FAILURE() << failure->message;
        g_error_free(failure);
    }
    bytes image;
    tape_read_file(tap.c_str(), &image, &error);
    return image;
}

bytes entries_of(const bytes &image)
{
    return image.size() < 20 ? bytes() : bytes(image.begin() + 20, image.end());
}

unsigned length_field(const bytes &image)
{
    return image[16] | image[17] << 8 | image[18] << 16 | unsigned(image[19]) << 24;
}

// A long entry: 0, then the cycle count in 24 bits.
bytes long_entry(unsigned cycles)
{
    return {0, (unsigned char)cycles, (unsigned char)(cycles >> 8), (unsigned char)(cycles >> 16)};
}

TEST(TapWriter, EntriesAtTheEdgesOfTheShortForm)
{
    // At the C64's PAL clock: 7 ticks are 3 cycles, 8 are 4, 4148 are 2043,
    // 4149 are 2044; 65535 ticks are 32284 cycles.
    bytes image = tap_of({7, 8, 4148, 4149, 65535}, options_for(0, 0));
    bytes expected = long_entry(3);
    expected.push_back(1);
    expected.push_back(255);
    for (unsigned cycles : {2044u, 32284u})
        for (unsigned char byte : long_entry(cycles))
            expected.push_back(byte);
    EXPECT_EQ(entries_of(image), expected);
    EXPECT_EQ(length_field(image), expected.size());
    EXPECT_EQ(image.size(), 20 + expected.size());
}

TEST(TapWriter, EachMachineAndVideoStandardHasItsHeaderAndClock)
{
    struct row {
        int machine_type, video_standard;
        const char *signature;
        unsigned char machine, video;
        unsigned cycles_of_longest;  // 65535 ticks at the machine's clock
    };
    const row rows[] = {
        {0, 0, "C64-TAPE-RAW", 0, 0, 32284}, {0, 1, "C64-TAPE-RAW", 0, 1, 33512},
        {1, 0, "C64-TAPE-RAW", 1, 0, 36320}, {1, 1, "C64-TAPE-RAW", 1, 1, 33512},
        {2, 0, "C16-TAPE-RAW", 2, 0, 29056}, {2, 1, "C16-TAPE-RAW", 2, 1, 29323},
        {3, 0, "C64-TAPE-RAW", 0, 0, 32284}, {3, 1, "C64-TAPE-RAW", 0, 1, 33512},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(testing::Message() << "machine type " << r.machine_type << ", video " << r.video_standard);
        bytes image = tap_of({65535}, options_for(r.machine_type, r.video_standard));
        ASSERT_EQ(image.size(), 24u);
        EXPECT_EQ(std::string(image.begin(), image.begin() + 12), r.signature);
        EXPECT_EQ(bytes(image.begin() + 12, image.begin() + 16), (bytes{1, r.machine, r.video, 0}));
        EXPECT_EQ(entries_of(image), long_entry(r.cycles_of_longest));
    }
}

TEST(TapWriter, BothEdgesActiveMakeOneEntryPerHalfWave)
{
    // 1000 ticks at the C16's PAL clock: 443 cycles, entry 55.
    bytes c16 = tap_of({1000, 1000, 1000}, options_for(2, 0, 1));
    EXPECT_EQ(c16[12], 2);
    EXPECT_EQ(entries_of(c16), (bytes{55, 55, 55}));
    EXPECT_EQ(tap_of({1000}, options_for(3, 0, 1))[12], 2);
    // Machines that never send the choice to the device keep full waves.
    EXPECT_EQ(tap_of({1000}, options_for(1, 0, 1))[12], 1);
}

struct entry {
    bool long_form;
    unsigned value;  // the byte, or the cycles of a long entry
};

std::vector<entry> parse_entries(const bytes &image)
{
    std::vector<entry> entries;
    for (size_t at = 20; at < image.size();) {
        unsigned char byte = image[at++];
        if (byte != 0 || image[12] == 0) {
            entries.push_back({byte == 0, byte});
            continue;
        }
        entries.push_back({true, image[at] | image[at + 1] << 8 | unsigned(image[at + 2]) << 16});
        at += 3;
    }
    return entries;
}

std::vector<std::array<unsigned char, 16>> names_in(const bytes &image)
{
    std::vector<unsigned short> samples;
    std::string error;
    EXPECT_TRUE(tape_tap_to_samples(image.data(), image.size(), 0, &samples, nullptr, &error)) << error;
    std::vector<std::array<unsigned char, 16>> names;
    for (const decoded_name &name : run_name_finder(samples))
        names.push_back(name.raw);
    return names;
}

TEST(TapWriter, RealTapesComeBackWithEveryPulseWithinOneUnitAndTheirNames)
{
    const std::vector<std::string> tapes = real_tape_paths();
    ASSERT_FALSE(tapes.empty());
    for (const std::string &tape : tapes) {
        SCOPED_TRACE(tape);
        bytes original;
        std::string error;
        ASSERT_TRUE(tape_read_file(tape.c_str(), &original, &error)) << error;
        std::vector<unsigned short> samples;
        tape_tap_info info;
        ASSERT_TRUE(tape_tap_to_samples(original.data(), original.size(), 0, &samples, &info, &error)) << error;
        bytes again = tap_of(samples, options_for(info.machine, info.video));

        std::vector<entry> before = parse_entries(original), after = parse_entries(again);
        // A pause beyond the longest sample comes back whole, as several long
        // entries, each within one cycle of its share.
        size_t j = 0;
        for (size_t i = 0; i < before.size() && j < after.size(); i++) {
            if (before[i].long_form) {
                long sum = 0, pieces = 0;
                do {
                    EXPECT_TRUE(after[j].long_form) << "entry " << i;
                    sum += after[j++].value;
                    ++pieces;
                } while (j < after.size() && after[j].long_form && sum + pieces < long(before[i].value));
                EXPECT_LE(std::abs(sum - long(before[i].value)), pieces) << "entry " << i;
            } else {
                EXPECT_FALSE(after[j].long_form) << "entry " << i;
                EXPECT_LE(std::abs(int(after[j++].value) - int(before[i].value)), 1) << "entry " << i;
            }
        }
        EXPECT_EQ(j, after.size());
        auto names = names_in(original);
        EXPECT_FALSE(names.empty());
        EXPECT_EQ(names_in(again), names);
    }
}

// Beside the image, its index: a comment naming the image, then each file
// at the first entry of its pilot or lead-in, which a player needs whole.
TEST(TapWriter, IndexBesideTheImagePointsAtEachFilesPilot)
{
    static const unsigned char program[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};
    tape_synth synth;
    tape_synth_init(&synth, 0, 40, 9);
    tape_synth_gap(&synth, 65535);
    const size_t rom_pilot = synth.samples.size();
    tape_rom_program(&synth, tape_name_field("FIRST/ONE"), 0x0801, program, sizeof program);
    tape_synth_gap(&synth, 65535);
    const size_t turbo_lead_in = synth.samples.size();
    tape_turbo_header(&synth, tape_tt250, tape_turbo_lead_in, 1, 0x0801, 0x0801 + sizeof program,
                      tape_name_field("SECOND"));
    tape_turbo_data(&synth, tape_tt250, tape_turbo_lead_in, program, sizeof program);
    tape_synth_gap(&synth, 65535);

    const sampling_option_values options = options_for(0, 0);
    auto offset_of = [&](size_t samples) {
        return tap_of(std::vector<unsigned short>(synth.samples.begin(), synth.samples.begin() + samples), options)
            .size();
    };
    char expected[200];
    std::snprintf(expected, sizeof expected, "; TAPE.tap\n0x%zX FIRST/ONE\n0x%zX SECOND\n", offset_of(rom_pilot),
                  offset_of(turbo_lead_in));

    test_folder folder;
    const std::string dmp = folder.path() + "/tape.DMP";
    ASSERT_TRUE(dmp_write_file(dmp.c_str(), synth.samples, nullptr));
    GError *failure = nullptr;
    ASSERT_TRUE(tap_write_file_from_dmp(dmp.c_str(), (folder.path() + "/TAPE.tap").c_str(), 1, &options, nullptr,
                                        &failure));
    EXPECT_EQ(test_read_file(folder.path() + "/TAPE.idx"), expected);
}

TEST(TapWriter, AFailedConversionLeavesTheEarlierImageAndNoOtherFile)
{
    test_small_filesystem disk(64 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    const std::string tap = disk.path() + "/tape.tap";
    bytes good = tap_of({1000, 2000}, options_for(0, 0));
    ASSERT_TRUE(g_file_set_contents(tap.c_str(), (const char *)good.data(), good.size(), nullptr));

    // 100000 entries do not fit in what is left of 64 KiB.
    test_folder elsewhere;
    const std::string dmp = elsewhere.path() + "/tape.DMP";
    ASSERT_TRUE(dmp_write_file(dmp.c_str(), std::vector<unsigned short>(100000, 1000), nullptr));
    GError *error = nullptr;
    sampling_option_values options = options_for(0, 0);
    EXPECT_FALSE(tap_write_file_from_dmp(dmp.c_str(), tap.c_str(), 1, &options, nullptr, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_STREQ(error->message, g_strerror(ENOSPC));
    g_error_free(error);

    bytes after;
    ASSERT_TRUE(tape_read_file(tap.c_str(), &after, nullptr));
    EXPECT_EQ(after, good);
    EXPECT_EQ(disk.listing(), "tape.tap");
}

TEST(TapWriter, AnEndlessInputOntoAFullDiskEndsAtTheFirstWriteError)
{
    test_small_filesystem disk(64 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    GError *error = nullptr;
    sampling_option_values options = options_for(0, 0);
    EXPECT_FALSE(tap_write_file_from_dmp("/dev/zero", (disk.path() + "/z.tap").c_str(), 1, &options, nullptr, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_STREQ(error->message, g_strerror(ENOSPC));
    g_error_free(error);
    EXPECT_EQ(disk.listing(), "");
}

TEST(TapWriter, AnImageTooLongForItsLengthFieldFailsAsSoonAsItIs)
{
    const int null_device = open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(null_device, 0);
    auto writer = std::make_unique<tap_writer>();
    sampling_option_values options = options_for(0, 0);
    tap_writer_start(writer.get(), null_device, &options);
    writer->data_length = G_MAXUINT32;  // as after 4 GiB of entries
    tap_writer_add_sample(writer.get(), 1000);
    EXPECT_EQ(writer->error_number, EFBIG);
    close(null_device);
}

}  // namespace
