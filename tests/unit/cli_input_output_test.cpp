// How zr7k8 reads its inputs and writes its results: tapes read as streams
// in memory that does not grow with them, each input a tape of its own, file
// names that cannot forge lines, and results that must arrive.
#include "cli_run.h"
#include "config_home.h"
#include "tape/name_finder.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "tape_synth.h"
#include "tape_testing.h"
#include "test_pty.h"

#include <gtest/gtest.h>
#include <glib.h>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

void write_dmp(const std::string &path, const std::vector<unsigned short> &samples)
{
    std::string error;
    ASSERT_TRUE(dmp_write_file(path.c_str(), samples, &error)) << error;
}

// A number from /proc/PID/FILE's line "KEY: N" (or "KEY N"); 0 when missing.
unsigned long long proc_value(GPid pid, const char *file, const std::string &key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key, 0) == 0)
            return std::stoull(line.substr(key.size()));
    }
    return 0;
}

// Waits (a minute at most) until the child has read `bytes`; returns its
// resident memory in kB then (0 once it has ended: a zombie has none).
unsigned long long resident_kb_after_reading(GPid pid, unsigned long long bytes)
{
    const gint64 deadline = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    while (proc_value(pid, "io", "rchar: ") < bytes && proc_value(pid, "status", "VmRSS:") > 0 &&
           g_get_monotonic_time() < deadline)
        g_usleep(10000);
    EXPECT_GE(proc_value(pid, "io", "rchar: "), bytes) << "the child stopped reading";
    return proc_value(pid, "status", "VmRSS:");
}

TEST(CliInput, NamesReadsAFifoAsTheFileItCarries)
{
    test_folder folder;
    write_dmp(folder.path() + "/demo.dmp", tape_demo_samples());
    const std::string fifo = folder.path() + "/demo.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The writer is a process of its own, ended afterwards whatever became of
    // the reading.
    const char *writer_argv[] = {"/bin/sh", "-c", "exec cat demo.dmp > demo.fifo", nullptr};
    GPid writer = 0;
    ASSERT_TRUE(g_spawn_async(folder.path().c_str(), const_cast<char **>(writer_argv), nullptr,
                              G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &writer, nullptr));

    const cli_result streamed = run_cli({"names", "demo.fifo"}, folder.path());
    kill(writer, SIGTERM);
    waitpid(writer, nullptr, 0);
    g_spawn_close_pid(writer);

    const cli_result whole = run_cli({"names", "demo.dmp"}, folder.path());
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(streamed.status, 0) << streamed.err;
    EXPECT_EQ(streamed.out, whole.out);
}

// An input that never ends is read in memory of its own size, and Ctrl-C
// ends the reading.
TEST(CliInput, NeverEndingInputKeepsItsMemoryAndStopsOnCtrlC)
{
    test_folder folder;
    unsigned long long early_kb = 0, late_kb = 0;
    const cli_result result = run_cli({"names", "/dev/zero"}, folder.path(), [&](GPid pid) {
        early_kb = resident_kb_after_reading(pid, 32ull << 20);
        late_kb = resident_kb_after_reading(pid, 288ull << 20);
        kill(pid, SIGINT);
    });
    EXPECT_LT(late_kb, early_kb + 32 * 1024) << "256 MB more read";
    EXPECT_EQ(result.status, 128 + SIGINT) << result.err;
}

// The demo tape cut 100 samples before its first name ends: the second part
// shows no name, alone or after the first.
TEST(CliInput, EachInputStartsWithFreshDecoders)
{
    const std::vector<unsigned short> samples = tape_demo_samples();
    name_finder finder;
    name_finder_init(&finder);
    size_t name_end = 0;
    while (name_end < samples.size() && !name_finder_feed(&finder, samples[name_end]))
        ++name_end;
    ASSERT_LT(name_end, samples.size());
    test_folder folder;
    const std::vector<unsigned short>::const_iterator cut = samples.begin() + long(name_end) - 100;
    write_dmp(folder.path() + "/part1.dmp", {samples.begin(), cut});
    write_dmp(folder.path() + "/part2.dmp", {cut, samples.end()});

    const cli_result alone = run_cli({"names", "part2.dmp"}, folder.path());
    const cli_result both = run_cli({"names", "part1.dmp", "part2.dmp"}, folder.path());
    const cli_result reversed = run_cli({"names", "part2.dmp", "part1.dmp"}, folder.path());

    ASSERT_EQ(alone.status, 0) << alone.err;
    std::string part2_in_both, part2_in_reversed;
    for (const std::string &line : cli_lines(both.out)) {
        if (line.rfind("part2.dmp\t", 0) == 0)
            part2_in_both += line.substr(10) + "\n";
    }
    for (const std::string &line : cli_lines(reversed.out)) {
        if (line.rfind("part2.dmp\t", 0) == 0)
            part2_in_reversed += line.substr(10) + "\n";
    }
    EXPECT_EQ(part2_in_both, alone.out);
    EXPECT_EQ(part2_in_reversed, alone.out);
    // Read on from part1, the header's first copy would be whole.
    EXPECT_NE(alone.out.find("\tverdict\tDEMO ROM\tbad\n"), std::string::npos) << alone.out;
}

// A program whose data block begins as a header does (type 3, $0801 to
// $0900, a name): the name decoders of the live status take it for one, but
// it is no file, and `names` lists what the client's list and the image's
// index list, the block readers' files.
TEST(CliOutput, NamesListsTheFilesTheListAndTheIndexList)
{
    std::vector<unsigned char> data = {0x03, 0x01, 0x08, 0x00, 0x09};
    const std::array<unsigned char, 16> decoy = tape_name_field("DECOY");
    data.insert(data.end(), decoy.begin(), decoy.end());
    data.resize(64, 0xEA);
    tape_synth synth;
    tape_synth_init(&synth, 0, 40, 3);
    tape_rom_program(&synth, tape_name_field("REAL"), 0x0801, data.data(), data.size());
    tape_synth_gap(&synth, 65535);
    std::vector<std::string> decoded;
    for (const decoded_name &name : run_name_finder(synth.samples))
        decoded.push_back(name.shown);
    ASSERT_EQ(decoded, (std::vector<std::string>{"REAL", "DECOY"}));

    test_folder folder;
    write_dmp(folder.path() + "/tape.dmp", synth.samples);
    const cli_result names = run_cli({"names", "tape.dmp"}, folder.path());
    ASSERT_EQ(names.status, 0) << names.err;
    std::vector<std::string> named;
    for (const std::string &line : cli_lines(names.out))
        if (line.find("\trom\t") != std::string::npos)
            named.push_back(line.substr(line.rfind('\t') + 1));
    EXPECT_EQ(named, (std::vector<std::string>{"REAL"})) << names.out;
    ASSERT_EQ(run_cli({"totap", "tape.dmp", "tape.tap"}, folder.path()).status, 0);
    const std::vector<std::string> indexed = cli_lines(test_read_file(folder.path() + "/tape.idx"));
    ASSERT_EQ(indexed.size(), 2u);
    EXPECT_EQ(indexed[1].substr(indexed[1].find(' ') + 1), "REAL");
}

TEST(CliOutput, FileNamesCannotForgeLines)
{
    test_folder folder;
    const std::string forged = "x.dmp\n9:99.9\trom\tFAKE\ny";
    write_dmp(folder.path() + "/" + forged, tape_demo_samples());
    write_dmp(folder.path() + "/plain.dmp", tape_demo_samples());

    const cli_result result = run_cli({"names", forged, "plain.dmp"}, folder.path());

    ASSERT_EQ(result.status, 0) << result.err;
    // Every line begins with one of the two names, as many lines with each.
    size_t forged_lines = 0, plain_lines = 0;
    for (const std::string &line : cli_lines(result.out)) {
        const std::string file = line.substr(0, line.find('\t'));
        EXPECT_TRUE(file == "plain.dmp" || file == "x.dmp\\n9:99.9\\trom\\tFAKE\\ny") << line;
        ++(file == "plain.dmp" ? plain_lines : forged_lines);
    }
    EXPECT_GT(plain_lines, 0u);
    EXPECT_EQ(forged_lines, plain_lines) << result.out;
}

// Results that never reached standard output are a failure, as coreutils
// treat them.
TEST(CliOutput, LostResultsExit1WithTheReason)
{
    test_folder folder;
    write_dmp(folder.path() + "/demo.dmp", tape_demo_samples());

    cli_run_options to_full;
    to_full.stdout_fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(to_full.stdout_fd, 0);
    const cli_result full = run_cli_with({"names", "--check", "demo.dmp"}, folder.path(), to_full);
    close(to_full.stdout_fd);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("zr7k8: write error: No space left on device"), std::string::npos) << full.err;

    cli_run_options closed;
    closed.stdout_fd = cli_run_options::cli_stdout_closed;
    const cli_result none = run_cli_with({"names", "demo.dmp"}, folder.path(), closed);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("zr7k8: write error: Bad file descriptor"), std::string::npos) << none.err;
}

// Commands only read the client's settings: with no configuration folder
// they write nothing, neither there nor in the folder they run in.
TEST(CliSettings, CommandsWriteNoSettings)
{
    test_folder folder;
    const cli_result result = run_cli({"reboot"}, folder.path());

    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find("\"COM3\""), std::string::npos) << result.err;
    EXPECT_FALSE(g_file_test((folder.path() + "/.config").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_FALSE(g_file_test((folder.path() + "/user.ini").c_str(), G_FILE_TEST_EXISTS));
}

}  // namespace
