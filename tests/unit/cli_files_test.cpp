// The command line on tape files as a user runs it: build/zr7k8 as a child
// process reading DMP files and TAP images (names, --check, extract, rescue).
#include "cli_run.h"
#include "config_home.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "tape_synth.h"
#include "tape_tap.h"
#include "tape_testing.h"
#include "test_pty.h"
#include "test_small_filesystem.h"

#include <gtest/gtest.h>
#include <glib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(Cli, NamesOnRealTapesAreTheNamesTheClientFinds)
{
    std::vector<std::string> arguments{"names"};
    std::map<std::string, std::vector<std::string>> expected, listed;
    for (const std::string &path : real_tape_paths()) {
        arguments.push_back(path);
        std::vector<unsigned short> samples;
        std::string error;
        ASSERT_TRUE(tape_tap_file_to_samples(path.c_str(), 0, &samples, nullptr, &error)) << error;
        expected[path];
        for (const decoded_name &name : run_name_finder(samples))
            expected[path].push_back(name.shown);
    }
    ASSERT_GT(arguments.size(), 2u);
    test_folder folder;
    const cli_result result = run_cli(arguments, folder.path());
    ASSERT_EQ(result.status, 0) << result.err;
    for (const std::string &line : cli_lines(result.out)) {
        const std::vector<std::string> parts = cli_columns(line);
        if (parts.at(2) == "verdict" || parts.at(2) == "unread")
            continue;
        ASSERT_EQ(parts.size(), 4u) << line;
        listed[parts[0]].push_back(parts[3]);
    }
    for (const auto &[path, names] : expected)
        EXPECT_EQ(listed[path], names) << path;
}

TEST(Cli, NamesTellsAFileMendedFromItsRepeatedCopy)
{
    test_folder folder;
    const cli_result result =
        run_cli({"names", ZR7K8_SOURCE_DIR "/tests/data/tapes/openroms-testtape-c64-pal-normal-errors.tap"},
                folder.path());
    EXPECT_EQ(result.status, 0) << result.err;
    const std::vector<std::string> said = cli_lines(result.out);
    ASSERT_EQ(said.size(), 2u) << result.out;
    EXPECT_EQ(cli_columns(said[1]), (std::vector<std::string>{"0:10.3", "verdict", "ROMEO & JULIET", "repaired"}));
}

// A program whose data has a byte bad in both copies, then a sound one.
std::vector<unsigned short> tape_with_a_bad_file(bool damaged)
{
    static const unsigned char program[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};
    tape_rom_block_damage damage;
    if (damaged) {
        damage.first.faults = {{4, tape_rom_broken_pair}};
        damage.repeated.faults = {{4, tape_rom_broken_pair}};
    }
    tape_synth synth;
    tape_synth_init(&synth);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("FIRST"), 0x0801, program, sizeof program, {}, damage);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("SECOND"), 0x0801, program, sizeof program);
    return synth.samples;
}

TEST(Cli, CheckExits3WhenAFileIsBad)
{
    test_folder folder;
    std::string error;
    ASSERT_TRUE(dmp_write_file((folder.path() + "/bad.dmp").c_str(), tape_with_a_bad_file(true), &error)) << error;
    ASSERT_TRUE(dmp_write_file((folder.path() + "/good.dmp").c_str(), tape_with_a_bad_file(false), &error)) << error;

    const cli_result bad = run_cli({"names", "--check", "bad.dmp"}, folder.path());
    EXPECT_EQ(bad.status, 3) << bad.err;
    EXPECT_NE(bad.out.find("\tverdict\tFIRST\tbad\n"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("\tverdict\tSECOND\tgood\n"), std::string::npos) << bad.out;
    const cli_result good = run_cli({"names", "--check", "good.dmp"}, folder.path());
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(run_cli({"names", "bad.dmp"}, folder.path()).status, 0) << "only --check fails a run";
}

// A real game tape: a ROM loader boot file, then two minutes of a turbo
// loader of the game's own, which no format here reads.
TEST(Cli, CheckExits4WhenMostOfATapeIsInAFormatNotRead)
{
    const std::string tapes = real_tapes_folder(tape_home::beside);
    if (tapes.empty())
        GTEST_SKIP() << "test material not found: set ZR7K8_TESTDATA_DIR to the folder that holds tapes/";
    test_folder folder;
    const std::string tape = tapes + "/tnd-gyro-run-tape.tap";
    const cli_result checked = run_cli({"names", "--check", tape}, folder.path());
    EXPECT_EQ(checked.status, 4) << checked.err;
    EXPECT_EQ(cli_lines(checked.out),
              (std::vector<std::string>{"0:10.3\trom\tGYRO RUN", "0:10.3\tverdict\tGYRO RUN\tgood",
                                        "0:17.5\tunread\t2:17.1"}));
    EXPECT_EQ(cli_lines(checked.err),
              (std::vector<std::string>{"2:37.6 of tape, 1 name found, 0:17.1 read",
                                        "zr7k8: 1 stretch of pulses was read by no format"}));
    EXPECT_EQ(run_cli({"names", tape}, folder.path()).status, 0) << "only --check fails a run";
}

TEST(Cli, NamesReadsWhatIsLeftOfATapImageCutShortAndAlwaysEndsWithASummary)
{
    test_folder folder;
    std::string image = test_read_file(ZR7K8_SOURCE_DIR "/tests/data/tapes/openroms-testtape-c64-pal-normal.tap");
    ASSERT_GT(image.size(), 40000u);
    // Cut inside the program's data: the header and its name are there.
    test_write_file(folder.path() + "/cut.tap", image.substr(0, 40000));
    test_write_file(folder.path() + "/empty.dmp", "");

    const cli_result cut = run_cli({"names", "--check", "cut.tap"}, folder.path());
    EXPECT_EQ(cut.status, 3) << cut.err;
    const std::vector<std::string> said = cli_lines(cut.out);
    ASSERT_EQ(said.size(), 2u) << cut.out;
    EXPECT_EQ(cli_columns(said[0]).at(2), "ROMEO & JULIET");
    EXPECT_EQ(cli_columns(said[1]).at(3), "cut short");
    const std::vector<std::string> talk = cli_lines(cut.err);
    ASSERT_GE(talk.size(), 2u) << cut.err;
    EXPECT_TRUE(g_str_has_prefix(talk[0].c_str(), "zr7k8: cut.tap: TAP image cut short")) << cut.err;
    // The tape ended inside the file: all of it up to there is the file's.
    EXPECT_TRUE(g_str_has_suffix(talk[1].c_str(), "0:16.3 of tape, 1 name found, 0:16.3 read")) << cut.err;
    EXPECT_EQ(run_cli({"names", "cut.tap"}, folder.path()).status, 0);

    const cli_result nothing = run_cli({"names", "empty.dmp"}, folder.path());
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, "0:00.0 of tape, 0 names found, 0:00.0 read\n");
}

// The open-roms tapes hold one program, saved four ways (PAL, NTSC, PAL
// damaged and mended, Turbo Tape 250): each tape's .prg lands in a folder of
// its own, and all four are the same file.
TEST(Cli, ExtractWritesTheSameProgramFromFourTapes)
{
    test_folder folder;
    const std::string tapes = ZR7K8_SOURCE_DIR "/tests/data/tapes/openroms-testtape-c64-";
    const std::vector<std::string> stems = {"pal-normal", "ntsc-normal", "pal-normal-errors", "pal-turbo"};
    std::vector<std::string> arguments = {"extract", "--into", "out"};
    for (const std::string &stem : stems)
        arguments.push_back(tapes + stem + ".tap");
    const cli_result result = run_cli(arguments, folder.path());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\tverdict\tROMEO & JULIET\tgood\n"), std::string::npos) << result.out;
    const std::string first = test_read_file(folder.path() + "/out/openroms-testtape-c64-pal-normal/ROMEO & JULIET.prg");
    ASSERT_EQ(first.size(), 2u + 702u);
    EXPECT_EQ(first.substr(0, 2), std::string("\x01\x08", 2));
    for (const std::string &stem : stems)
        EXPECT_EQ(test_read_file(folder.path() + "/out/openroms-testtape-c64-" + stem + "/ROMEO & JULIET.prg"), first)
            << stem;
}

// Two programs of the same name: "TWIN.prg" and "TWIN (2).prg". An existing
// target stops the run before anything is written, unless --force.
TEST(Cli, ExtractReplacesNothingUnaskedAndNumbersSameNames)
{
    static const unsigned char first[] = {1, 2, 3}, second[] = {4, 5};
    tape_synth synth;
    tape_synth_init(&synth);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("TWIN"), 0x0801, first, sizeof first);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("TWIN"), 0xC000, second, sizeof second);
    test_folder folder;
    std::string error;
    ASSERT_TRUE(dmp_write_file((folder.path() + "/twins.dmp").c_str(), synth.samples, &error)) << error;
    test_write_file(folder.path() + "/TWIN (2).prg", "mine");

    const cli_result refused = run_cli({"extract", "twins.dmp"}, folder.path());
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("TWIN (2).prg' exists"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(folder.path() + "/TWIN.prg"));
    EXPECT_EQ(test_read_file(folder.path() + "/TWIN (2).prg"), "mine");

    const cli_result forced = run_cli({"extract", "--force", "twins.dmp"}, folder.path());
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(test_read_file(folder.path() + "/TWIN.prg"), std::string("\x01\x08\x01\x02\x03", 5));
    EXPECT_EQ(test_read_file(folder.path() + "/TWIN (2).prg"), std::string("\x00\xC0\x04\x05", 4));
}

// Two takes of one side, each breaking the first program in another byte of
// both copies and the second in the same byte: the first comes back from the
// two together and is saved, the second stays bad and fails --check. One take
// alone is refused.
TEST(Cli, RescueSavesWhatTwoTakesReadTogether)
{
    std::vector<unsigned char> program(200);
    for (size_t i = 0; i < program.size(); ++i)
        program[i] = static_cast<unsigned char>(i * 7);
    test_folder folder;
    for (size_t broken : {4, 150}) {
        tape_rom_block_damage damage, stuck;
        damage.first.faults = damage.repeated.faults = {{broken, tape_rom_broken_pair}};
        stuck.first.faults = stuck.repeated.faults = {{9, tape_rom_broken_pair}};
        tape_synth synth;
        tape_synth_init(&synth, 0, 30, uint32_t(broken));
        tape_synth_gap(&synth, 65535);
        tape_rom_program(&synth, tape_name_field("WORN"), 0x0801, program.data(), program.size(), {}, damage);
        tape_synth_gap(&synth, 65535);
        tape_rom_program(&synth, tape_name_field("STUCK"), 0x0801, program.data(), program.size(), {}, stuck);
        std::string error;
        ASSERT_TRUE(dmp_write_file((folder.path() + "/take" + std::to_string(broken) + ".dmp").c_str(),
                                   synth.samples, &error))
            << error;
    }

    EXPECT_EQ(run_cli({"rescue", "take4.dmp"}, folder.path()).status, 2);
    const cli_result result =
        run_cli({"rescue", "--check", "--tap", "clean.tap", "take4.dmp", "take150.dmp"}, folder.path());
    EXPECT_EQ(result.status, 3) << result.err;
    // The clean image holds the rescued file whole and the stuck one as the
    // first take recorded it.
    const cli_result clean = run_cli({"names", "--check", "clean.tap"}, folder.path());
    EXPECT_EQ(clean.status, 3) << clean.err;
    EXPECT_NE(clean.out.find("verdict\tWORN\tgood"), std::string::npos) << clean.out;
    const std::vector<std::string> said = cli_lines(result.out);
    ASSERT_EQ(said.size(), 2u) << result.out;
    EXPECT_EQ(cli_columns(said[0]), (std::vector<std::string>{cli_columns(said[0]).at(0), "verdict", "WORN", "rescued"}));
    EXPECT_EQ(cli_columns(said[1]).at(3), "bad");
    std::string expected = "\x01\x08";
    expected.append(program.begin(), program.end());
    EXPECT_EQ(test_read_file(folder.path() + "/WORN.prg"), expected);
    EXPECT_FALSE(fs::exists(folder.path() + "/STUCK.prg"));
}

// A full disk: the program that does not fit leaves nothing behind, and the
// run fails with the system's reason.
TEST(Cli, ExtractOntoAFullDiskLeavesNoHalfProgram)
{
    test_small_filesystem disk(64 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    test_write_file(disk.path() + "/filler", std::string(64 * 1024, 'x')); // the whole disk
    const cli_result result = run_cli(
        {"extract", "--into", disk.path(), ZR7K8_SOURCE_DIR "/tests/data/tapes/openroms-testtape-c64-pal-turbo.tap"},
        disk.path());
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find(g_strerror(ENOSPC)), std::string::npos) << result.err;
    EXPECT_EQ(disk.listing(), "filler");
}

}  // namespace
