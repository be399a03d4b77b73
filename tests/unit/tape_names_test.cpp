// Whole tapes through the capture worker's decoder pass: synthesized tapes of
// each format with jittered pulses, the built-in demo tape, and real tapes.
#include "tape/rom.h"
#include "tape_demo.h"
#include "tape_synth.h"
#include "tape_tap.h"
#include "tape_testing.h"
#include "tape/tt250.h"
#include "tape/turrican.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> shown_names(const std::vector<unsigned short> &samples)
{
    std::vector<std::string> shown;
    for (const decoded_name &found : run_name_finder(samples))
        shown.push_back(found.shown);
    return shown;
}

const unsigned char names_program[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};

// Two files of one format, with data blocks and silences.
std::vector<unsigned short> rom_tape(int offset, int jitter, uint32_t seed)
{
    tape_synth synth;
    tape_synth_init(&synth, offset, jitter, seed);
    for (const char *name : {"FIRST", "SECOND FILE"}) {
        tape_synth_gap(&synth, 65535);
        tape_rom_header(&synth, tape_rom_header_pilot, 1, 0x0801, 0x080D, tape_name_field(name));
        tape_synth_gap(&synth, 65535);
        tape_rom_block(&synth, tape_rom_data_pilot, names_program, sizeof names_program);
    }
    return synth.samples;
}

std::vector<unsigned short> jittered_turbo_tape(const tape_turbo_format &format, int offset, int jitter, uint32_t seed)
{
    tape_synth synth;
    tape_synth_init(&synth, offset, jitter, seed);
    for (const char *name : {"FIRST", "SECOND FILE"}) {
        tape_synth_gap(&synth, 65535);
        tape_turbo_header(&synth, format, tape_turbo_lead_in, 1, 0x0801, 0x080D, tape_name_field(name));
        tape_synth_gap(&synth, 65535);
        tape_turbo_data(&synth, format, tape_turbo_lead_in, names_program, sizeof names_program);
    }
    return synth.samples;
}

const std::vector<std::string> two_files{"FIRST", "SECOND FILE"};

// The widest moves that stay inside every window of the format (the ROM
// loader's short and medium windows meet at 113, so both stay clear of it).
TEST(SynthesizedTapes, RomLoaderNamesWithJitter)
{
    EXPECT_EQ(shown_names(rom_tape(0, 140, 7)), two_files);
    EXPECT_EQ(shown_names(rom_tape(100, 40, 8)), two_files);
    EXPECT_EQ(shown_names(rom_tape(-100, 40, 9)), two_files);
}

TEST(SynthesizedTapes, Tt250NamesWithJitter)
{
    EXPECT_EQ(shown_names(jittered_turbo_tape(tape_tt250, 0, 105, 7)), two_files);
    EXPECT_EQ(shown_names(jittered_turbo_tape(tape_tt250, 70, 35, 8)), two_files);
    EXPECT_EQ(shown_names(jittered_turbo_tape(tape_tt250, -70, 35, 9)), two_files);
}

TEST(SynthesizedTapes, TurricanNamesWithJitter)
{
    EXPECT_EQ(shown_names(jittered_turbo_tape(tape_turrican, 0, 100, 7)), two_files);
    EXPECT_EQ(shown_names(jittered_turbo_tape(tape_turrican, 65, 35, 8)), two_files);
    EXPECT_EQ(shown_names(jittered_turbo_tape(tape_turrican, -65, 35, 9)), two_files);
}

TEST(SynthesizedTapes, PulsesPushedOutOfTheWindowsGiveNoNames)
{
    // Every turbo 0 pulse moved below the windows and every ROM short pulse
    // into the medium window.
    EXPECT_TRUE(shown_names(jittered_turbo_tape(tape_tt250, -120, 0, 1)).empty());
    EXPECT_TRUE(shown_names(jittered_turbo_tape(tape_turrican, -110, 0, 1)).empty());
    EXPECT_TRUE(shown_names(rom_tape(170, 0, 1)).empty());
}

TEST(SynthesizedTapes, JitterStaysWithinItsAmplitudeAndReachesBothEnds)
{
    tape_synth synth;
    tape_synth_init(&synth, 10, 50, 3);
    for (int i = 0; i < 20000; ++i)
        tape_synth_pulse(&synth, 1000);
    const auto [low, high] = std::minmax_element(synth.samples.begin(), synth.samples.end());
    EXPECT_EQ(*low, 960);
    EXPECT_EQ(*high, 1060);
}

TEST(SynthesizedTapes, DemoTapeHoldsTheThreeNamesInOrder)
{
    const std::vector<unsigned short> demo = tape_demo_samples();
    EXPECT_EQ(shown_names(demo), (std::vector<std::string>{tape_demo_names[0], tape_demo_names[1],
                                                            tape_demo_names[2]}));
    EXPECT_EQ(tape_demo_samples(), demo) << "the demo tape is the same every time";
}

// ---- Real tapes ---------------------------------------------------------------

struct names_real_tape {
    tape_home home;
    const char *file;
    const char *label;
    // Names the whole pass must find, in order: the ROM decoder takes only
    // the first copy of a header (countdown 0x89..0x81) after a pilot of
    // more than 5000 short pulses, so each ROM header is found once.
    std::vector<std::string> raw;
    std::vector<std::string> shown;
    // Names each decoder finds on its own.
    size_t rom, tt250, turrican;
};

const std::string romeo("ROMEO & JULIET  ");

const names_real_tape names_real_tapes[] = {
    {tape_home::repository, "openroms-testtape-c64-pal-normal.tap", "PalNormal", {romeo}, {"ROMEO & JULIET"}, 1, 0,
     0},
    {tape_home::repository, "openroms-testtape-c64-pal-normal-errors.tap", "DamagedDataBlock", {romeo},
     {"ROMEO & JULIET"}, 1, 0, 0},
    {tape_home::repository, "openroms-testtape-c64-ntsc-normal.tap", "NtscNormal", {romeo}, {"ROMEO & JULIET"}, 1,
     0, 0},
    {tape_home::repository, "openroms-testtape-c64-pal-turbo.tap", "Tt250", {romeo}, {"ROMEO & JULIET"}, 0, 1, 0},
    {tape_home::repository, "c64studio-sample1.tap", "TapVersion0ShiftedSpaces",
     {"HURZ\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0"}, {"HURZ"}, 1, 0, 0},
    {tape_home::beside, "retroload-rl.tap", "Retroload", {"RL              "}, {"RL"}, 1, 0, 0},
    // Its custom turbo section must give no name at all.
    {tape_home::beside, "tnd-gyro-run-tape.tap", "GyroRunWithCustomTurbo", {"\x93\x05GYRO RUN      "},
     {"GYRO RUN"}, 1, 0, 0},
};

void PrintTo(const names_real_tape &tape, std::ostream *out) { *out << tape.file; }

class RealTape : public testing::TestWithParam<names_real_tape> {
protected:
    std::vector<unsigned short> samples;

    void SetUp() override
    {
        const std::string folder = real_tapes_folder(GetParam().home);
        if (folder.empty())
            GTEST_SKIP() << "test material not found: set ZR7K8_TESTDATA_DIR to the folder that holds tapes/";
        std::string error;
        ASSERT_TRUE(tape_tap_file_to_samples((folder + "/" + GetParam().file).c_str(), 0, &samples, nullptr,
                                             &error))
            << error;
    }
};

TEST_P(RealTape, SamplePassFindsExactlyTheNamesOnTheTape)
{
    const std::vector<decoded_name> found = run_name_finder(samples);
    std::vector<std::string> raw, shown;
    for (const decoded_name &name : found) {
        raw.emplace_back(name.raw.begin(), name.raw.end());
        shown.push_back(name.shown);
    }
    EXPECT_EQ(raw, GetParam().raw);
    EXPECT_EQ(shown, GetParam().shown);
}

TEST_P(RealTape, EachDecoderAloneFindsOnlyItsOwnFormat)
{
    const std::vector<unsigned char> pulses = pulse_bytes(samples);
    EXPECT_EQ(run_decoder(rom_loader_find_name, pulses).size(), GetParam().rom);
    EXPECT_EQ(run_decoder(tt250_loader_find_name, pulses).size(), GetParam().tt250);
    EXPECT_EQ(run_decoder(turrican_loader_find_name, pulses).size(), GetParam().turrican);
}

INSTANTIATE_TEST_SUITE_P(Tapes, RealTape, testing::ValuesIn(names_real_tapes),
                         [](const testing::TestParamInfo<names_real_tape> &info) { return info.param.label; });

}  // namespace
