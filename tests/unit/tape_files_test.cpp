// TAP images to sample streams, DMP files, and the command-line tools.
#include "tape_demo.h"
#include "tape_file.h"
#include "tape_tap.h"
#include "config_home.h"
#include "tape_testing.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

std::vector<unsigned char> tap_image(unsigned version, std::vector<unsigned char> data, unsigned machine = 0,
                                     unsigned video = 0, long declared = -1)
{
    std::vector<unsigned char> image = {'C', '6', '4', '-', 'T', 'A', 'P', 'E', '-', 'R', 'A', 'W'};
    image.push_back(static_cast<unsigned char>(version));
    image.push_back(static_cast<unsigned char>(machine));
    image.push_back(static_cast<unsigned char>(video));
    image.push_back(0);
    const unsigned long length = declared < 0 ? data.size() : static_cast<unsigned long>(declared);
    for (int shift = 0; shift < 32; shift += 8)
        image.push_back(static_cast<unsigned char>(length >> shift));
    image.insert(image.end(), data.begin(), data.end());
    return image;
}

std::vector<unsigned short> convert(const std::vector<unsigned char> &image, unsigned clock_hz = 0)
{
    std::vector<unsigned short> samples;
    std::string error;
    EXPECT_EQ(tape_tap_to_samples(image.data(), image.size(), clock_hz, &samples, nullptr, &error), 1) << error;
    return samples;
}

// 0x30 units = 384 cycles = 779.5 ticks of 2 MHz at the PAL clock, rounded
// to 779; 10000 cycles give 20299.3 ticks, rounded to 20299.
TEST(TapConversion, Version1PulsesAndExactOverflows)
{
    EXPECT_EQ(convert(tap_image(1, {0x30, 0x00, 0x10, 0x27, 0x00, 0x01})),
              (std::vector<unsigned short>{779, 20299, 16}));
}

TEST(TapConversion, PausesBeyondTheLongestSampleAreKeptWhole)
{
    // 1000000 cycles at the PAL clock are 2029946 ticks: 31 samples, none of
    // them short enough to pass for a pulse a loader reads.
    const std::vector<unsigned short> pause = convert(tap_image(1, {0x30, 0x00, 0x40, 0x42, 0x0F, 0x30}));
    ASSERT_EQ(pause.size(), 33u);
    EXPECT_EQ(pause.front(), 779);
    EXPECT_EQ(pause.back(), 779);
    unsigned long total = 0;
    for (size_t i = 1; i + 1 < pause.size(); ++i) {
        EXPECT_GT(pause[i], 32767) << i;
        total += pause[i];
    }
    EXPECT_EQ(total, 2029946ul);
    // A version 0 overflow has no length of its own.
    EXPECT_EQ(convert(tap_image(0, {0x30, 0x00, 0x30})), (std::vector<unsigned short>{779, 65535, 779}));
}

TEST(TapConversion, Version2AddsHalfWavesInPairs)
{
    EXPECT_EQ(convert(tap_image(2, {0x18, 0x18, 0x00, 0xC0, 0x00, 0x00, 0x18, 0x20})),
              (std::vector<unsigned short>{779, 779, 520}));
}

TEST(TapConversion, ClockComesFromTheHeaderOrTheCaller)
{
    // NTSC C64: 384 cycles at 1022727 Hz are 750.9 ticks.
    EXPECT_EQ(convert(tap_image(1, {0x30}, 0, 1)), std::vector<unsigned short>{751});
    // Version 0 has no machine fields: always the PAL clock.
    EXPECT_EQ(convert(tap_image(0, {0x30}, 0, 1)), std::vector<unsigned short>{779});
    EXPECT_EQ(convert(tap_image(1, {0x30}), 1000000), std::vector<unsigned short>{768});
    // At a clock that slow a short entry lasts longer than a sample: 76800
    // ticks, split as a pause is.
    EXPECT_EQ(convert(tap_image(1, {0x30}), 10000), (std::vector<unsigned short>{38400, 38400}));
    tape_tap_info info{};
    std::vector<unsigned short> samples;
    const auto image = tap_image(1, {0x30}, 1, 0);
    ASSERT_EQ(tape_tap_to_samples(image.data(), image.size(), 0, &samples, &info, nullptr), 1);
    EXPECT_EQ(info.clock_hz, 1108405u) << "VIC-20 PAL";
    EXPECT_EQ(info.version, 1u);
}

TEST(TapConversion, DeclaredLengthIsHonouredAndCutToTheFile)
{
    EXPECT_EQ(convert(tap_image(1, {0x30, 0x42, 0x56}, 0, 0, 2)).size(), 2u);
    EXPECT_EQ(convert(tap_image(1, {0x30, 0x42, 0x56}, 0, 0, 1000)).size(), 3u);
    // An overflow entry cut short by the end of the file ends the stream.
    EXPECT_EQ(convert(tap_image(1, {0x30, 0x00, 0x10})), std::vector<unsigned short>{779});
}

TEST(TapConversion, OtherDataIsRefusedWithAReason)
{
    std::vector<unsigned short> samples{1, 2};
    std::string error;
    const auto version3 = tap_image(3, {0x30});
    EXPECT_EQ(tape_tap_to_samples(version3.data(), version3.size(), 0, &samples, nullptr, &error), 0);
    EXPECT_NE(error.find("version"), std::string::npos);

    std::vector<unsigned char> not_tap = version3;
    not_tap[0] = 'X';
    EXPECT_EQ(tape_tap_to_samples(not_tap.data(), not_tap.size(), 0, &samples, nullptr, &error), 0);
    EXPECT_EQ(tape_tap_to_samples(not_tap.data(), 10, 0, &samples, nullptr, &error), 0);
    EXPECT_EQ(tape_tap_file_to_samples("/nonexistent/x.tap", 0, &samples, nullptr, &error), 0);
    EXPECT_NE(error.find("/nonexistent/x.tap"), std::string::npos);
}

class TapeFiles : public testing::Test {
protected:
    std::filesystem::path folder;

    void SetUp() override
    {
        char pattern[] = "/tmp/zr7k8-tape-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // The tool's exit status, or -1 when it did not exit; its standard error
    // goes to *error, so that a failure can be told from a sanitizer's exit.
    static int run(const std::string &command, std::string *error = nullptr)
    {
        gchar *err = nullptr;
        gint status = 0;
        if (!g_spawn_command_line_sync(command.c_str(), nullptr, &err, &status, nullptr))
            return -1;
        if (error)
            *error = err;
        g_free(err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(TapeFiles, DmpHoldsSamplesLowByteFirst)
{
    const std::string path = (folder / "t.dmp").string();
    std::string error;
    ASSERT_EQ(dmp_write_file(path.c_str(), {0x1234, 0xFFFF, 0x0001}, &error), 1) << error;
    std::vector<unsigned char> bytes;
    ASSERT_EQ(tape_read_file(path.c_str(), &bytes, &error), 1);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{0x34, 0x12, 0xFF, 0xFF, 0x01, 0x00}));
    std::vector<unsigned short> samples;
    ASSERT_EQ(dmp_read_file(path.c_str(), &samples, &error), 1);
    EXPECT_EQ(samples, (std::vector<unsigned short>{0x1234, 0xFFFF, 0x0001}));
    EXPECT_EQ(dmp_write_file((folder / "missing" / "t.dmp").c_str(), samples, &error), 0);
}

TEST_F(TapeFiles, DemoTapeToolWritesTheDemoTape)
{
    const std::string path = (folder / "demo.dmp").string();
    ASSERT_EQ(run(std::string(ZR7K8_BINARY_DIR "/zr7k8-demotape ") + path), 0);
    std::vector<unsigned short> samples;
    std::string error;
    ASSERT_EQ(dmp_read_file(path.c_str(), &samples, &error), 1) << error;
    EXPECT_EQ(samples, tape_demo_samples());
    EXPECT_EQ(run(ZR7K8_BINARY_DIR "/zr7k8-demotape", &error), 2);
    EXPECT_EQ(error.rfind("usage: zr7k8-demotape", 0), 0u) << error;
}

TEST_F(TapeFiles, DemoTapeToolHelpsAndReplacesAFileOnlyWhenForced)
{
    const std::string tool = ZR7K8_BINARY_DIR "/zr7k8-demotape";
    const std::string kept = (folder / "kept.dmp").string();
    test_write_file(kept, "mine");
    std::string error;
    EXPECT_EQ(run(tool + " " + kept, &error), 2);
    EXPECT_EQ(test_read_file(kept), "mine");
    EXPECT_NE(error.find("--force"), std::string::npos) << error;

    EXPECT_EQ(run(tool + " --force " + kept), 0);
    EXPECT_EQ(test_read_file(kept).size(), 2 * tape_demo_samples().size());

    // Run in the folder, so that a file named "--help" would land there.
    gchar *out = nullptr;
    gint status = -1;
    const gchar *argv[] = {tool.c_str(), "--help", nullptr};
    ASSERT_TRUE(g_spawn_sync(folder.c_str(), const_cast<gchar **>(argv), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                             &out, nullptr, &status, nullptr));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(std::string(out).rfind("usage: zr7k8-demotape", 0), 0u) << out;
    g_free(out);
    EXPECT_FALSE(std::filesystem::exists(folder / "--help"));
}

TEST_F(TapeFiles, Tap2dmpConvertsAnImage)
{
    const auto image = tap_image(1, {0x30, 0x42, 0x56, 0x00, 0x10, 0x27, 0x00});
    const std::string tap = (folder / "in.tap").string(), dmp = (folder / "out.dmp").string();
    {
        FILE *file = std::fopen(tap.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(image.data(), 1, image.size(), file), image.size());
        std::fclose(file);
    }
    ASSERT_EQ(run(std::string(ZR7K8_BINARY_DIR "/zr7k8-tap2dmp ") + tap + " " + dmp), 0);
    std::vector<unsigned short> samples;
    std::string error;
    ASSERT_EQ(dmp_read_file(dmp.c_str(), &samples, &error), 1) << error;
    EXPECT_EQ(samples, convert(image));
    EXPECT_EQ(run(std::string(ZR7K8_BINARY_DIR "/zr7k8-tap2dmp ") + dmp + " " + tap, &error), 1);
    EXPECT_EQ(error.rfind("zr7k8-tap2dmp: not a TAP image", 0), 0u) << error;
}

}  // namespace
