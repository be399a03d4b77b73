// The command line as a user runs it: build/zr7k8 as a child process, the
// simulated device on a pseudo-terminal in this process.
#include "bootsim.h"
#include "cli_run.h"
#include "config_home.h"
#include "devsim.h"
#include "health_tapes.h"
#include "device/firmware.h"
#include "intel_hex.h"
#include "programmer_sandbox.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "tape_synth.h"
#include "tape_tap.h"
#include "tape_testing.h"
#include "test_catalogue.h"
#include "test_pty.h"
#include "test_small_filesystem.h"

#include <gtest/gtest.h>
#include <glib.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct sim_deleter {
    void operator()(devsim *sim) const { devsim_stop(sim); }
};
using sim_handle = std::unique_ptr<devsim, sim_deleter>;

// The simulated device playing `samples` at bytes_per_second (0: flat out).
sim_handle start_device(const std::vector<unsigned short> &samples, unsigned bytes_per_second)
{
    devsim_options options;
    options.bytes_per_second = bytes_per_second;
    const std::vector<unsigned char> stream = dmp_bytes_of_samples(samples);
    options.stream = [stream](const devsim_sampling_request &) { return devsim_stream_from_bytes(stream); };
    devsim *sim = devsim_start(options);
    EXPECT_NE(sim, nullptr);
    return sim_handle(sim);
}

std::string demo_stream()
{
    const std::vector<unsigned char> bytes = dmp_bytes_of_samples(tape_demo_samples());
    return std::string(bytes.begin(), bytes.end());
}

TEST(Cli, DumpWritesTheDeviceStreamAndPrintsTheNamesWithTheirLoaders)
{
    test_folder folder;
    sim_handle sim = start_device(tape_demo_samples(), 0);
    const cli_result result = run_cli({"dump", "--port", devsim_port_name(sim.get()), "demo.dmp"}, folder.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(test_read_file(folder.path() + "/demo.dmp"), demo_stream());
    std::vector<std::string> found, verdicts;
    for (const std::string &line : cli_lines(result.out))
        if (cli_columns(line).at(1) != "unread")
            (cli_columns(line).at(1) == "verdict" ? verdicts : found).push_back(line);
    ASSERT_EQ(found.size(), 3u) << result.out;
    // Every file's verdict, placed where its name line is: at its header's
    // first byte.
    ASSERT_EQ(verdicts.size(), 3u) << result.out;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(cli_columns(verdicts[i]), (std::vector<std::string>{cli_columns(verdicts[i])[0], "verdict",
                                                                  tape_demo_names[i], "good"}));
        EXPECT_EQ(cli_columns(verdicts[i])[0], cli_columns(found[i])[0]);
    }
    const std::string expected[3][2] = {{"rom", tape_demo_names[0]},
                                        {"tt250", tape_demo_names[1]},
                                        {"turrican", tape_demo_names[2]}};
    for (size_t i = 0; i < 3; ++i) {
        const std::vector<std::string> parts = cli_columns(found[i]);
        ASSERT_EQ(parts.size(), 3u) << found[i];
        EXPECT_TRUE(g_regex_match_simple("^[0-9]+:[0-5][0-9]\\.[0-9]$", parts[0].c_str(), GRegexCompileFlags(0),
                                         GRegexMatchFlags(0)))
            << parts[0];
        EXPECT_EQ(parts[1], expected[i][0]);
        EXPECT_EQ(parts[2], expected[i][1]);
    }
    EXPECT_LT(cli_columns(found[0])[0], cli_columns(found[1])[0]) << "names come in tape order";
}

// Each entry of a folder: a regular file's contents, a link's target, or
// the kind of anything else (never opened, so a FIFO does not block).
std::map<std::string, std::string> folder_entries(const std::string &folder)
{
    std::map<std::string, std::string> entries;
    for (const auto &entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const fs::file_status status = fs::symlink_status(entry.path());
        if (fs::is_symlink(status))
            entries[name] = "-> " + fs::read_symlink(entry.path()).string();
        else if (fs::is_regular_file(status))
            entries[name] = test_read_file(entry.path().string());
        else
            entries[name] = "(kind " + std::to_string(int(status.type())) + ")";
    }
    return entries;
}

// The file that a dump to `name` is writing under its temporary name, or "".
std::string temporary_of(const std::string &folder, const std::string &name)
{
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("." + name + "."))
            return entry.path().string();
    }
    return "";
}

TEST(Cli, SpeaksTheUsersLanguageButKeepsTheFieldsScriptsRead)
{
    test_folder folder;
    cli_run_options german;
    german.environment = {{"LC_ALL", test_german_locale}};
    const cli_result help = run_cli_with({"help", "dump"}, folder.path(), german);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--port=ANSCHLUSS"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("Der serielle Anschluss des Geräts"), std::string::npos) << help.out;
    EXPECT_EQ(help.out.find("The device's serial port"), std::string::npos) << help.out;

    sim_handle sim = start_device(tape_demo_samples(), 0);
    const cli_result dump = run_cli_with({"dump", "--port", devsim_port_name(sim.get()), "demo.dmp"}, folder.path(),
                                         german);
    EXPECT_EQ(dump.status, 0) << dump.err;
    const cli_result english = run_cli({"names", "demo.dmp"}, folder.path());
    EXPECT_EQ(dump.out, english.out) << "names, loaders, verdicts and times as in any locale";
    EXPECT_NE(dump.err.find("\nVorgang erfolgreich\n"), std::string::npos) << dump.err;
    EXPECT_NE(dump.err.find(" KB, 3 Namen gefunden, 0:19.9 gelesen\n"), std::string::npos) << dump.err;
    EXPECT_EQ(dump.err.find("\u00a0"), std::string::npos) << "a no-break space in " << dump.err;
}

TEST(Cli, InterruptedDumpExits130AndKeepsAPrefixOfTheStream)
{
    test_folder folder;
    // About seven seconds of stream: the interrupt comes well inside it.
    sim_handle sim = start_device(tape_demo_samples(), 20000);
    const std::string path = folder.path() + "/cut.dmp";
    const cli_result result =
        run_cli({"dump", "--port", devsim_port_name(sim.get()), "cut.dmp"}, folder.path(), [&](GPid pid) {
            const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
            while (test_read_file(temporary_of(folder.path(), "cut.dmp")).size() < 8192 && g_get_monotonic_time() < deadline)
                g_usleep(20000);
            kill(pid, SIGINT);
        });
    EXPECT_EQ(result.status, 130) << result.err;
    EXPECT_NE(result.err.find("Operation aborted"), std::string::npos) << result.err;
    const std::string kept = test_read_file(path);
    const std::string stream = demo_stream();
    EXPECT_GE(kept.size(), 8192u);
    EXPECT_LT(kept.size(), stream.size());
    EXPECT_EQ(kept, stream.substr(0, kept.size()));
    EXPECT_EQ(temporary_of(folder.path(), "cut.dmp"), "");
}

TEST(Cli, AnInterruptedConversionLeavesNoFile)
{
    test_folder folder;
    const std::string dir = folder.path();
    // A sparse dump of 256 MiB: converting it takes far longer than the wait
    // for its temporary file to appear.
    test_write_file(dir + "/big.dmp", "");
    ASSERT_EQ(truncate((dir + "/big.dmp").c_str(), 256 << 20), 0);
    const cli_result result = run_cli({"totap", "big.dmp", "big.tap"}, dir, [&](GPid pid) {
        const gint64 deadline = g_get_monotonic_time() + 20 * G_USEC_PER_SEC;
        while (temporary_of(dir, "big.tap").empty() && g_get_monotonic_time() < deadline)
            g_usleep(1000);
        kill(pid, SIGINT);
    });
    EXPECT_EQ(result.status, 128 + SIGINT) << result.err;
    EXPECT_EQ(temporary_of(dir, "big.tap"), "");
    EXPECT_FALSE(fs::exists(dir + "/big.tap"));
}

// Until the device has answered, no target is touched: an existing dump, a
// link and the file it names stay as they were after a failed dump, and
// names of things other than regular files are refused before the port is.
TEST(Cli, ADumpTouchesNoTargetBeforeTheDeviceAnswers)
{
    test_folder folder;
    const std::string dir = folder.path();
    test_write_file(dir + "/good.dmp", "precious");
    test_write_file(dir + "/notes.txt", "notes");
    ASSERT_EQ(symlink("notes.txt", (dir + "/link.dmp").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo.dmp").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/null", (dir + "/null.dmp").c_str()), 0);
    auto before = folder_entries(dir);
    for (const char *target : {"good.dmp", "link.dmp"}) {
        const cli_result result = run_cli({"dump", "--force", "--tap", "--port", "/nonexistent", target}, dir);
        EXPECT_EQ(result.status, 1) << target << ": " << result.err;
    }
    for (const char *target : {"fifo.dmp", "null.dmp"}) {
        const cli_result result = run_cli({"dump", "--force", "--port", "/nonexistent", target}, dir);
        EXPECT_EQ(result.status, 2) << target;
        EXPECT_NE(result.err.find("Not a regular file"), std::string::npos) << result.err;
    }
    auto after = folder_entries(dir);
    after.erase(".config");  // the settings, written or not
    EXPECT_EQ(after, before);
}

// A silent device: the answer deadline (handed in short) closes the port.
TEST(Cli, SilentDeviceFailsWithTheReasonAndLeavesNoFile)
{
    test_folder folder;
    devsim_options options;
    options.send_prompt = false;
    sim_handle sim(devsim_start(options));
    ASSERT_NE(sim, nullptr);
    cli_run_options run;
    run.environment = {{"ZR7K8_DEVICE_ANSWER_MS", "200"}};
    const cli_result result =
        run_cli_with({"dump", "--port", devsim_port_name(sim.get()), "x.dmp"}, folder.path(), run);
    EXPECT_EQ(result.status, 1);
    const std::vector<std::string> said = cli_lines(result.err);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "zr7k8: Unable to sync with device");
    EXPECT_FALSE(fs::exists(folder.path() + "/x.dmp"));
}

// The device answers at once, but the command's main loop is held up (its
// standard error is a full pipe) until long after the answer deadline (handed
// in at 1.5 s): the answer, marked by the worker when it came, counts, and the
// dump runs to its end. Were it marked only when the main loop took the
// queued status, the deadline would come first and close the port.
TEST(Cli, AnAnswerStillQueuedForTheMainLoopStopsTheAnswerDeadline)
{
    test_folder folder;
    devsim_options options;
    options.bytes_per_second = 0;
    const std::string stream = demo_stream();
    options.stream = [stream](const devsim_sampling_request &) {
        return devsim_stream_from_bytes({stream.begin(), stream.end()});
    };
    // The stream goes on after the main loop does (held up until well past
    // the deadline, below).
    const unsigned answer_ms = 1500;
    options.pauses = {{20000, answer_ms + 2000}};
    sim_handle sim(devsim_start(options));
    ASSERT_NE(sim, nullptr);
    int error_pipe[2];
    ASSERT_EQ(pipe(error_pipe), 0);
    fcntl(error_pipe[1], F_SETFL, O_NONBLOCK);
    const std::string filler(4096, '#');
    size_t filled = 0;
    for (size_t size : {filler.size(), size_t(1)}) {
        for (ssize_t wrote; (wrote = write(error_pipe[1], filler.data(), size)) > 0;)
            filled += size_t(wrote);
    }
    fcntl(error_pipe[1], F_SETFL, 0);

    cli_run_options run;
    run.stderr_fd = error_pipe[1];
    const std::string answer_text = std::to_string(answer_ms);
    run.environment = {{"ZR7K8_DEVICE_ANSWER_MS", answer_text.c_str()}};
    std::string said;
    bool answered_while_held = false;
    run.meanwhile = [&](GPid) {
        close(error_pipe[1]);
        const gint64 start = g_get_monotonic_time();
        const bool connected =
            devsim_wait(sim.get(), [](const devsim_status &s) { return s.client_connected; }, 30000);
        // The deadline was set before the port was opened.
        const gint64 past_deadline = g_get_monotonic_time() + (answer_ms + 1000) * G_TIME_SPAN_MILLISECOND;
        while (g_get_monotonic_time() < start + 30 * G_USEC_PER_SEC &&
               (temporary_of(folder.path(), "x.dmp").empty() ||
                test_read_file(temporary_of(folder.path(), "x.dmp")).size() < 8192))
            g_usleep(20000);
        answered_while_held = connected && test_read_file(temporary_of(folder.path(), "x.dmp")).size() >= 8192;
        while (g_get_monotonic_time() < past_deadline)
            g_usleep(20000);
        char buffer[4096];
        for (ssize_t got; (got = read(error_pipe[0], buffer, sizeof buffer)) > 0;)
            said.append(buffer, size_t(got));
        close(error_pipe[0]);
    };
    const cli_result result = run_cli_with({"dump", "--port", devsim_port_name(sim.get()), "x.dmp"}, folder.path(), run);
    EXPECT_TRUE(answered_while_held);
    said.erase(0, std::min(filled, said.size()));
    EXPECT_EQ(result.status, 0) << said;
    const std::string dumped = test_read_file(folder.path() + "/x.dmp");
    EXPECT_TRUE(dumped == stream) << "a dump of " << dumped.size() << " bytes";
}

TEST(Cli, TapBesideTheDumpIsTheImageThatTotapMakes)
{
    test_folder folder;
    sim_handle sim = start_device(tape_demo_samples(), 0);
    const std::vector<std::string> sampling = {"--machine", "vic20", "--video", "ntsc"};
    std::vector<std::string> dump = {"dump", "--tap", "--port", devsim_port_name(sim.get())};
    dump.insert(dump.end(), sampling.begin(), sampling.end());
    dump.push_back("game.DMP");
    ASSERT_EQ(run_cli(dump, folder.path()).status, 0);
    std::vector<std::string> totap = {"totap", "game.DMP", "other.tap"};
    totap.insert(totap.end(), sampling.begin(), sampling.end());
    ASSERT_EQ(run_cli(totap, folder.path()).status, 0);
    const std::string image = test_read_file(folder.path() + "/game.tap");
    EXPECT_GT(image.size(), 20u);
    EXPECT_EQ(image[13], 1) << "the VIC 20 header";
    EXPECT_EQ(image, test_read_file(folder.path() + "/other.tap"));
}

// zr7k8(1) has an entry for every command `zr7k8 help` lists and every exit
// status it names, and the changelog names every command.
TEST(Cli, TheManualAndTheChangelogKeepUpWithTheCommands)
{
    test_folder folder;
    const cli_result help = run_cli({"help"}, folder.path());
    ASSERT_EQ(help.status, 0);
    std::vector<std::string> commands, statuses;
    for (const std::string &line : cli_lines(help.out)) {
        gchar **words = g_strsplit_set(line.c_str(), " ,", -1);
        if (line.starts_with("  ") && words[2] && g_ascii_islower(words[2][0]))
            commands.emplace_back(words[2]);
        if (line.starts_with("Exit status:"))
            for (gchar **word = words; *word; ++word)
                if (g_ascii_isdigit((*word)[0]))
                    statuses.emplace_back(*word);
        g_strfreev(words);
    }
    ASSERT_GE(commands.size(), 9u) << help.out;
    ASSERT_GE(statuses.size(), 5u) << help.out;
    const std::string manual = test_read_file(ZR7K8_SOURCE_DIR "/doc/zr7k8.1");
    const std::string exit_section = manual.substr(manual.find(".SH EXIT STATUS"));
    std::string changelog = test_read_file(ZR7K8_SOURCE_DIR "/doc/changelog");
    changelog = changelog.substr(0, changelog.find("\n -- "));  // the top entry
    for (const std::string &command : commands) {
        const bool entry = manual.find("\n.B " + command + " ") != std::string::npos ||
                           manual.find("\n.B " + command + "\n") != std::string::npos;
        EXPECT_TRUE(entry) << command;
        EXPECT_TRUE(g_regex_match_simple(("\\b" + command + "\\b").c_str(), changelog.c_str(),
                                         GRegexCompileFlags(0), GRegexMatchFlags(0)))
            << command;
    }
    for (const std::string &status : statuses)
        EXPECT_NE(exit_section.find(".B " + status + "\n"), std::string::npos) << status;
}

// Programs saved as the tape plays, here from a dump of the demo tape: each
// of its three files is read and saved.
TEST(Cli, DumpSavesTheProgramsAsTheTapePlays)
{
    sim_handle sim = start_device(tape_demo_samples(), 0);
    test_folder folder;
    const cli_result result =
        run_cli({"dump", "--port", devsim_port_name(sim.get()), "--programs", "progs", "demo.dmp"}, folder.path());
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> saved;
    for (const auto &entry : fs::directory_iterator(folder.path() + "/progs"))
        saved.push_back(entry.path().filename().string());
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, (std::vector<std::string>{"DEMO ROM.prg", "DEMO TURBO.prg", "DEMO TURRICAN.prg"}));
    EXPECT_EQ(test_read_file(folder.path() + "/progs/DEMO ROM.prg"),
              test_read_file(folder.path() + "/progs/DEMO TURBO.prg"));
    EXPECT_EQ(test_read_file(folder.path() + "/progs/DEMO ROM.prg"),
              test_read_file(folder.path() + "/progs/DEMO TURRICAN.prg"));
}

TEST(Cli, RebootUsesThePortOfTheClientsSettings)
{
    test_folder folder;
    sim_handle sim = start_device({}, 0);
    const std::string settings = folder.path() + "/.config/zr7k8-client";
    fs::create_directories(settings);
    test_write_file(settings + "/user.ini",
                    "[connection]\ndevice_port=" + devsim_port_name(sim.get()) + "\nbootloader_port=COM4\n");
    const cli_result result = run_cli({"reboot"}, folder.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(devsim_wait_for_command(sim.get(), "b", 5000));
}

TEST(Cli, UpdateWritesTheImageThroughTheSimulatedBootloader)
{
    programmer_sandbox sandbox;
    // A file of the user's by the image's name is no business of an update.
    ASSERT_TRUE(g_file_set_contents(sandbox.path(FIRMWARE_FILE_NAME).c_str(), "mine", -1, nullptr));
    sim_handle sim = start_device({}, 0);
    bootsim *boot = bootsim_start({});
    ASSERT_NE(boot, nullptr);
    cli_run_options run;
    run.environment = {{"ZR7K8_BOOTLOADER_PAUSE_MS", "0"}};  // the simulated bootloader is there at once
    const cli_result result = run_cli_with(
        {"update", "--port", devsim_port_name(sim.get()), "--bootloader-port", bootsim_port_name(boot)},
        sandbox.work_dir(), run);
    EXPECT_EQ(result.status, 0) << result.err;
    const std::vector<unsigned char> image = intel_hex_flat_data(intel_hex_read(firmware, firmware_length));
    const std::vector<unsigned char> flash = bootsim_flash(boot);
    EXPECT_TRUE(flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin()));
    char *mine = nullptr;
    ASSERT_TRUE(g_file_get_contents(sandbox.path(FIRMWARE_FILE_NAME).c_str(), &mine, nullptr, nullptr));
    EXPECT_STREQ(mine, "mine");
    g_free(mine);
    bootsim_stop(boot);
}

// Bad command lines and bad input: one line prefixed "zr7k8: ", exit 2, and
// nothing in the folder changes.
TEST(Cli, RefusalsExitWith2AndWriteNothing)
{
    test_folder folder;
    const std::string dir = folder.path();
    test_write_file(dir + "/kept.dmp", "keep");
    std::string bad_version(20, '\0'), bad_length(24, '\0');
    bad_version.replace(0, 12, "C64-TAPE-RAW");
    bad_version[12] = 7;
    bad_length.replace(0, 12, "C64-TAPE-RAW");
    bad_length[12] = 1;
    bad_length[16] = 9;  // four entry bytes follow, not nine
    test_write_file(dir + "/version.tap", bad_version);
    test_write_file(dir + "/length.tap", bad_length);
    const std::vector<std::vector<std::string>> refused = {
        {},  // usage
        {"frobnicate"},
        {"dump", "--bogus", "x.dmp"},
        {"dump"},
        {"dump", "--port", "/dev/null", "--machine", "c128", "x.dmp"},
        {"preview", "--port", "/dev/null", "--video", "secam"},
        {"dump", "--port", "/dev/null", "kept.dmp"},
        {"dump", "--port", "", "x.dmp"},
        {"dump", "--port", "/dev/null", "--tap", "kept.dmp", "--force", "extra"},
        {"dump", "--port", "/dev/null", "missing/x.dmp"},
        {"names", "absent.dmp"},
        {"names", "kept.dmp", "version.tap"},
        {"totap", "absent.dmp", "x.tap"},
        {"totap", "length.tap", "x.tap"},
        {"totap", "kept.dmp", "kept.dmp"},
        {"totap", "kept.dmp"},
        {"reboot", "--port"},
        {"update", "now"},
        {"help", "frobnicate"},
    };
    auto listing = [&] {
        std::map<std::string, std::string> files;
        for (const auto &entry : fs::recursive_directory_iterator(dir))
            files[entry.path().string()] = entry.is_regular_file() ? test_read_file(entry.path().string()) : "";
        return files;
    };
    const auto before = listing();
    for (const std::vector<std::string> &arguments : refused) {
        std::string shown;
        for (const std::string &argument : arguments)
            shown += " '" + argument + "'";
        SCOPED_TRACE("zr7k8" + shown);
        const cli_result result = run_cli(arguments, dir);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        if (!arguments.empty()) {
            EXPECT_TRUE(g_str_has_prefix(result.err.c_str(), "zr7k8: ") && cli_lines(result.err).size() == 1)
                << result.err;
        }
        EXPECT_EQ(listing(), before);
    }
}

// The health lines of `out`, as their columns.
std::vector<std::vector<std::string>> health_lines(const std::string &out)
{
    std::vector<std::vector<std::string>> found;
    for (const std::string &line : cli_lines(out))
        if (cli_columns(line).at(1) == "health")
            found.push_back(cli_columns(line));
    return found;
}

TEST(Cli, HealthLinesGiveEachFilesSpeedAndSpreadAgainstTheChosenMachine)
{
    // A program written by an NTSC machine, whose pilot pulses are 3.7 %
    // shorter than a PAL one's.
    const health_tape tape = health_rom_tape(1.0, 1, health_ntsc_c64_hz);
    test_folder folder;
    std::string error;
    ASSERT_TRUE(dmp_write_file((folder.path() + "/ntsc.dmp").c_str(), tape.samples, &error)) << error;
    auto expect_health = [&](const cli_result &result, double speed) {
        EXPECT_EQ(result.status, 0) << result.err;
        const auto found = health_lines(result.out);
        ASSERT_EQ(found.size(), 1u) << result.out;
        ASSERT_EQ(found[0].size(), 5u);
        EXPECT_EQ(found[0][2], "HEALTH");
        EXPECT_NEAR(g_ascii_strtod(found[0][3].c_str(), nullptr), speed, 0.3) << found[0][3];
        EXPECT_NEAR(g_ascii_strtod(found[0][4].c_str(), nullptr), tape.spread_percent, 0.3) << found[0][4];
        // After the name line, before the verdict.
        const std::vector<std::string> all = cli_lines(result.out);
        ASSERT_EQ(all.size(), 3u);
        EXPECT_EQ(cli_columns(all[0]).at(1), "rom");
        EXPECT_EQ(cli_columns(all[2]).at(1), "verdict");
    };
    expect_health(run_cli({"names", "--health", "ntsc.dmp"}, folder.path()),
                  100 * (health_ntsc_c64_hz / health_pal_c64_hz - 1));
    expect_health(run_cli({"names", "--health", "--video", "ntsc", "ntsc.dmp"}, folder.path()), 0.0);
    EXPECT_TRUE(health_lines(run_cli({"names", "ntsc.dmp"}, folder.path()).out).empty());

    // A capture measures against the machine it tells the device.
    sim_handle sim = start_device(tape.samples, 0);
    expect_health(
        run_cli({"preview", "--health", "--video", "ntsc", "--port", devsim_port_name(sim.get())}, folder.path()),
        0.0);
}

// Opens the terminal (the path in `data`) as the child's standard error.
void stderr_on_terminal(gpointer data)
{
    const int fd = open(static_cast<const char *>(data), O_RDWR | O_NOCTTY);
    if (fd >= 0)
        dup2(fd, STDERR_FILENO);
}

TEST(Cli, ProgressLineOnATerminalCarriesTheLiveHealth)
{
    // A ROM-loader program played 4 % slow: about 1.2 s of stream, several
    // rewrites of the progress line.
    const health_tape tape = health_rom_tape(0.96, 1);
    sim_handle sim = start_device(tape.samples, devsim_line_rate);
    test_pty terminal;
    test_folder folder;
    const std::string port = devsim_port_name(sim.get());
    const char *argv[] = {ZR7K8_BINARY_DIR "/zr7k8", "preview", "--port", port.c_str(), nullptr};
    const std::string config = folder.path() + "/.config";
    gchar **environment = g_environ_setenv(g_get_environ(), "XDG_CONFIG_HOME", config.c_str(), TRUE);
    GPid pid = 0;
    int out = -1;
    const gboolean started = g_spawn_async_with_pipes(
        folder.path().c_str(), const_cast<char **>(argv), environment, G_SPAWN_DO_NOT_REAP_CHILD,
        stderr_on_terminal, const_cast<char *>(terminal.path().c_str()), &pid, nullptr, &out, nullptr, nullptr);
    g_strfreev(environment);
    ASSERT_TRUE(started);
    // What the terminal showed while the capture ran (the line is rewritten
    // after a carriage return each time).
    std::string shown;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0)
        shown += terminal.read(4096, 100);
    shown += terminal.read(4096, 200);
    g_spawn_close_pid(pid);
    close(out);
    EXPECT_EQ(WEXITSTATUS(status), 0) << shown;
    const size_t at = shown.rfind("  speed ");
    ASSERT_NE(at, std::string::npos) << shown;
    gchar *end = nullptr;
    EXPECT_NEAR(g_ascii_strtod(shown.c_str() + at + 8, &end), tape.speed_percent, 0.3) << shown.substr(at);
    EXPECT_TRUE(g_str_has_prefix(end, " %  spread ")) << shown.substr(at);
}

}  // namespace
