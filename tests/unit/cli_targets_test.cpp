// What the commands write: only where and when they were asked to. Folders
// of several tapes, the index as an output, outputs that are inputs, names
// taken while a file is written, messages that name files, takes that
// repeat or disagree.
#include "cli_run.h"
#include "config_home.h"
#include "devsim.h"
#include "tape_demo.h"
#include "tape/dmp.h"
#include "tape_synth.h"
#include "tape_testing.h"
#include "test_pty.h"
#include "test_small_filesystem.h"

#include <gtest/gtest.h>
#include <glib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A tape of one ROM-loader program NAME holding `bytes`, as a dump at path.
void write_tape(const std::string &path, const char *name, const std::vector<unsigned char> &bytes)
{
    tape_synth synth;
    tape_synth_init(&synth);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field(name), 0x0801, bytes.data(), bytes.size());
    tape_synth_gap(&synth, 65535);
    std::string error;
    ASSERT_TRUE(dmp_write_file(path.c_str(), synth.samples, &error)) << error;
}

// Every name under folder (recursively), relative to it, sorted.
std::vector<std::string> everything_under(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).string());
    // The settings folder of the run, written or not.
    std::erase_if(names, [](const std::string &name) { return name.starts_with(".config"); });
    std::sort(names.begin(), names.end());
    return names;
}

// Several tapes of one name (in other folders, with other endings, one named
// twice, one named "...dmp") each get a folder of their own inside DIR.
TEST(CliTargets, EachTapeOfSeveralGetsAFolderOfItsOwnInsideDir)
{
    test_folder folder;
    const std::string dir = folder.path();
    fs::create_directories(dir + "/a");
    fs::create_directories(dir + "/b");
    write_tape(dir + "/a/game.dmp", "ONE", {1});
    write_tape(dir + "/b/game.dmp", "TWO", {2});
    write_tape(dir + "/...dmp", "DOTS", {3});
    const cli_result result =
        run_cli({"extract", "--into", "out", "a/game.dmp", "b/game.dmp", "a/game.dmp", "...dmp"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(everything_under(dir),
              (std::vector<std::string>{"...dmp", "a", "a/game.dmp", "b", "b/game.dmp", "out", "out/_.",
                                        "out/_./DOTS.prg", "out/game", "out/game (2)", "out/game (2)/TWO.prg",
                                        "out/game (3)", "out/game (3)/ONE.prg", "out/game/ONE.prg"}));
    EXPECT_EQ(test_read_file(dir + "/out/game (2)/TWO.prg"), std::string("\x01\x08\x02", 3));
}

// The index beside an image is checked, refused and protected as the image is.
TEST(CliTargets, TheIndexIsAnOutputLikeAnyOther)
{
    test_folder folder;
    const std::string dir = folder.path();
    write_tape(dir + "/g.dmp", "GAME", {1, 2});
    test_write_file(dir + "/out.idx", "mine");
    const cli_result refused = run_cli({"totap", "g.dmp", "out.tap"}, dir);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("'out.idx' exists: --force replaces it"), std::string::npos) << refused.err;
    EXPECT_EQ(test_read_file(dir + "/out.idx"), "mine");
    EXPECT_FALSE(fs::exists(dir + "/out.tap"));

    ASSERT_EQ(run_cli({"totap", "--force", "g.dmp", "out.tap"}, dir).status, 0);
    EXPECT_NE(test_read_file(dir + "/out.idx").find(" GAME\n"), std::string::npos);
}

// No output is an input, by its own name, through a link or as an index,
// --force or not; a dangling link is a name taken.
TEST(CliTargets, NoOutputIsAnInputAndADanglingLinkIsANameTaken)
{
    test_folder folder;
    const std::string dir = folder.path();
    write_tape(dir + "/d.dmp", "GAME", {1, 2});
    write_tape(dir + "/take2.dmp", "GAME", {1, 2});
    ASSERT_EQ(symlink("d.dmp", (dir + "/link.tap").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (dir + "/dangling.tap").c_str()), 0);
    test_write_file(dir + "/side.idx", "0x14 GAME\n");
    const std::vector<std::vector<std::string>> refused = {
        {"totap", "--force", "d.dmp", "d.dmp"},
        {"totap", "--force", "d.dmp", "link.tap"},
        {"totap", "--force", "side.idx", "side.tap"},
        {"rescue", "--force", "--tap", "d.dmp", "d.dmp", "take2.dmp"},
        {"totap", "d.dmp", "dangling.tap"},
    };
    const std::vector<std::string> before = everything_under(dir);
    for (const std::vector<std::string> &arguments : refused) {
        SCOPED_TRACE(arguments[2] + " " + arguments.back());
        const cli_result result = run_cli(arguments, dir);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_EQ(cli_lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(everything_under(dir), before);
    }
    EXPECT_NE(run_cli(refused[2], dir).err.find("'side.idx' is the input 'side.idx'"), std::string::npos);
    EXPECT_EQ(test_read_file(dir + "/side.idx"), "0x14 GAME\n");
}

// A dump's name taken by another file while the device plays: that file
// stays, the dump is removed, and the run says so with exit 2.
TEST(CliTargets, ANameTakenDuringTheDumpKeepsItsFile)
{
    test_folder folder;
    const std::string dir = folder.path();
    devsim_options options;
    // The demo tape in about a second: time enough to take the name.
    options.bytes_per_second = 150000;
    const std::vector<unsigned char> stream = dmp_bytes_of_samples(tape_demo_samples());
    options.stream = [stream](const devsim_sampling_request &) { return devsim_stream_from_bytes(stream); };
    devsim *sim = devsim_start(options);
    ASSERT_NE(sim, nullptr);
    auto temporary = [&] {
        for (const auto &entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().starts_with(".side.dmp."))
                return true;
        return false;
    };
    const cli_result result = run_cli({"dump", "--port", devsim_port_name(sim), "side.dmp"}, dir, [&](GPid) {
        const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
        while (!temporary() && g_get_monotonic_time() < deadline)
            g_usleep(1000);
        test_write_file(dir + "/side.dmp", "theirs");
    });
    devsim_stop(sim);
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_NE(result.err.find("'side.dmp' appeared meanwhile and is kept"), std::string::npos) << result.err;
    EXPECT_EQ(test_read_file(dir + "/side.dmp"), "theirs");
    EXPECT_FALSE(temporary());
}

// The image fits on the disk, its index does not: the run says the image
// was written and fails.
TEST(CliTargets, AnImageWrittenWithoutItsIndexIsSaidSo)
{
    test_small_filesystem disk(64 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    test_folder folder;
    write_tape(folder.path() + "/g.dmp", "GAME", std::vector<unsigned char>(64, 7));
    ASSERT_EQ(run_cli({"totap", "g.dmp", "g.tap"}, folder.path()).status, 0);
    const size_t image_pages = (fs::file_size(folder.path() + "/g.tap") + 4095) / 4096;
    // Every page the image does not take: the index finds none.
    test_write_file(disk.path() + "/filler", std::string((16 - image_pages) * 4096, 'x'));
    const cli_result result = run_cli({"totap", folder.path() + "/g.dmp", "a.tap"}, disk.path());
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.err, "zr7k8: a.tap written; its index a.idx not: " + std::string(g_strerror(ENOSPC)) + "\n");
    EXPECT_EQ(test_read_file(disk.path() + "/a.tap"), test_read_file(folder.path() + "/g.tap"));
    EXPECT_EQ(disk.listing(), "a.tap filler");
}

// Control characters of file names reach neither the terminal nor a folder's
// name.
TEST(CliTargets, FileNamesInMessagesAreEscaped)
{
    test_folder folder;
    const std::string dir = folder.path();
    write_tape(dir + "/a\tb.dmp", "ONE", {1});
    write_tape(dir + "/c.dmp", "TWO", {2});
    const cli_result result = run_cli({"extract", "--into", "out\x1b[2J", "a\tb.dmp", "c.dmp"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("Program: out\\x1B[2J/a_b/ONE.prg\n"), std::string::npos) << result.err;
    EXPECT_TRUE(fs::exists(dir + "/out\x1b[2J/a_b/ONE.prg"));

    const cli_result refused = run_cli({"totap", "--force", "a\tb.dmp", "a\tb.dmp"}, dir);
    EXPECT_EQ(refused.err, "zr7k8: 'a\\tb.dmp' is the input 'a\\tb.dmp': no output replaces an input; nothing written\n");
}

// Takes of one side: the same file twice counts once; takes that read a file
// clean with different bytes are named, the majority's bytes kept.
TEST(CliTargets, RescueCountsATakeOnceAndNamesTakesThatDisagree)
{
    test_folder folder;
    const std::string dir = folder.path();
    write_tape(dir + "/one.dmp", "GAME", {1, 1});
    write_tape(dir + "/two.dmp", "GAME", {1, 1});
    write_tape(dir + "/odd.dmp", "GAME", {9, 9});
    const cli_result result = run_cli({"rescue", "one.dmp", "odd.dmp", "two.dmp"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\tverdict\tGAME\tgood\n"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("zr7k8: warning: GAME read clean with different bytes: kept those of 'one.dmp', "
                              "'two.dmp', not those of 'odd.dmp'\n"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(test_read_file(dir + "/GAME.prg"), std::string("\x01\x08\x01\x01", 4));

    // one.dmp again (by another name) would outvote odd.dmp: it counts once,
    // and the tie goes to the first take.
    ASSERT_EQ(link((dir + "/one.dmp").c_str(), (dir + "/again.dmp").c_str()), 0);
    const cli_result twice = run_cli({"rescue", "--force", "odd.dmp", "one.dmp", "again.dmp"}, dir);
    ASSERT_EQ(twice.status, 0) << twice.err;
    EXPECT_NE(twice.err.find("zr7k8: warning: 'again.dmp' is 'one.dmp' again: it counts as one take\n"),
              std::string::npos)
        << twice.err;
    EXPECT_EQ(test_read_file(dir + "/GAME.prg"), std::string("\x01\x08\x09\x09", 4));
}

}  // namespace
