// The simulated device, seen through the real serial link and console as the
// client sees it.
#include "link/console.h"
#include "devsim.h"
#include "link/serial.h"
#include "test_pty.h"

#include <gtest/gtest.h>
#include <glib.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const unsigned wait_ms = 5000;

struct devsim_deleter {
    void operator()(devsim *sim) const { devsim_stop(sim); }
};
using devsim_handle = std::unique_ptr<devsim, devsim_deleter>;

devsim_handle start(devsim_options options)
{
    std::string error;
    devsim *sim = devsim_start(options, &error);
    EXPECT_NE(sim, nullptr) << error;
    return devsim_handle(sim);
}

std::vector<unsigned char> counting_bytes(size_t count)
{
    std::vector<unsigned char> bytes(count);
    for (size_t i = 0; i < count; i++)
        bytes[i] = static_cast<unsigned char>(i * 7 + i / 256);
    return bytes;
}

devsim_options fast_options(std::vector<unsigned char> stream)
{
    devsim_options options;
    options.bytes_per_second = 0;
    options.stream = [stream](const devsim_sampling_request &) { return devsim_stream_from_bytes(stream); };
    return options;
}

// Reads in 64-byte requests, as the capture does, until the bytes end with
// `tail`, a read fails, or 20 s pass. Returns everything read; *failed tells
// whether a read failed.
std::string read_until(const std::string &tail, bool *failed = nullptr, int *reads = nullptr)
{
    std::string got;
    gint64 deadline = g_get_monotonic_time() + 20 * G_USEC_PER_SEC;
    if (failed)
        *failed = false;
    while (g_get_monotonic_time() < deadline) {
        char chunk[64];
        unsigned n = 0;
        if (!serial_read(chunk, sizeof chunk, &n)) {
            if (failed)
                *failed = true;
            break;
        }
        if (n && reads)
            (*reads)++;
        got.append(chunk, n);
        if (got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0)
            break;
    }
    return got;
}

// Reads until a read times out empty; returns what came before.
std::string read_until_quiet()
{
    std::string got;
    for (;;) {
        char chunk[64];
        unsigned n = 0;
        if (!serial_read(chunk, sizeof chunk, &n) || n == 0)
            return got;
        got.append(chunk, n);
    }
}

// The console's prompt wait reads until its buffer is full or the read's
// time runs out: a short read time keeps each connection short.
class Devsim : public ::testing::Test {
protected:
    void SetUp() override { serial_set_timeout(50); }
    void TearDown() override { serial_set_timeout(SERIAL_TIMEOUT_MS); }
};

void connect_and_sync(devsim *sim)
{
    ASSERT_EQ(serial_connect_and_configure_port(devsim_port_name(sim).c_str()), 1);
    ASSERT_EQ(console_synch_with_device(), 1);
}

TEST_F(Devsim, GreetingPromptEchoAcknowledgementStreamAndMarker)
{
    auto stream = counting_bytes(1000);
    devsim_options options = fast_options(stream);
    options.greeting = "ZR7K8-LC\r\n";
    auto sim = start(options);
    ASSERT_EQ(serial_connect_and_configure_port(devsim_port_name(sim.get()).c_str()), 1);
    EXPECT_EQ(read_until("\r\n> "), "ZR7K8-LC\r\n\r\n> ");
    ASSERT_EQ(console_execute_command("u 2 2 1"), 1);
    std::string reply = read_until(devsim_success_marker);
    EXPECT_EQ(reply, "OK\r\n" + std::string(stream.begin(), stream.end()) + devsim_success_marker);
    serial_disconnect_port();

    devsim_status status = devsim_get_status(sim.get());
    ASSERT_EQ(status.commands.size(), 1u);
    EXPECT_EQ(status.commands[0], "u 2 2 1");
    EXPECT_EQ(status.last_request.format_flags, 2);
    EXPECT_EQ(status.last_request.machine, 2);
    EXPECT_EQ(status.last_request.video, 1);
    EXPECT_EQ(status.runs_finished, 1u);
    EXPECT_EQ(status.run_bytes_sent, stream.size());
}

TEST_F(Devsim, OtherLinesAreEchoedAndAnsweredWithAPrompt)
{
    auto sim = start(fast_options({}));
    connect_and_sync(sim.get());
    ASSERT_EQ(console_execute_command("hello"), 1);
    EXPECT_EQ(read_until("\r\n> "), "?\r\n> ");
    ASSERT_EQ(console_execute_command(""), 1);
    EXPECT_EQ(read_until("\r\n> "), "\r\n> ");
    serial_disconnect_port();
    EXPECT_TRUE(devsim_wait_for_command(sim.get(), "hello", wait_ms));
}

TEST_F(Devsim, ClientThatLeavesMidStreamFindsACleanDeviceNextTime)
{
    devsim_options options;   // the built-in tape at the line rate: seconds long
    auto sim = start(options);
    connect_and_sync(sim.get());
    ASSERT_EQ(console_execute_command("u 0 0 0"), 1);
    char some[64];
    ASSERT_EQ(console_read(some, sizeof some), 1);
    serial_disconnect_port();
    ASSERT_TRUE(devsim_wait(sim.get(), [](const devsim_status &s) { return !s.client_connected; }, wait_ms));

    // No stream bytes of the first run in front of the new prompt and echo.
    ASSERT_EQ(serial_connect_and_configure_port(devsim_port_name(sim.get()).c_str()), 1);
    EXPECT_EQ(read_until("\r\n> "), "\r\n> ");
    EXPECT_EQ(console_execute_command("u 0 1 0"), 1);
    serial_disconnect_port();
    EXPECT_EQ(devsim_get_status(sim.get()).sessions, 2u);
}

TEST_F(Devsim, CloseAndImmediateReopenGetsANewPrompt)
{
    auto sim = start(fast_options({}));
    for (int round = 0; round < 5; round++) {
        connect_and_sync(sim.get());
        serial_disconnect_port();
    }
    EXPECT_TRUE(devsim_wait(sim.get(), [](const devsim_status &s) { return s.sessions == 5; }, wait_ms));
}

TEST_F(Devsim, RebootVanishesAndComesBackBehindTheSameLink)
{
    test_folder folder;
    devsim_options options = fast_options({});
    options.link_path = folder.path() + "/ttyZR7K8";
    options.absent_ms = 100;
    auto sim = start(options);
    EXPECT_EQ(devsim_port_name(sim.get()), options.link_path);
    connect_and_sync(sim.get());
    ASSERT_EQ(console_write("b\r", 2), 1);
    bool failed = false;
    read_until("never", &failed);
    EXPECT_TRUE(failed);   // the device went away under the reader
    serial_disconnect_port();
    ASSERT_TRUE(devsim_wait(sim.get(), [](const devsim_status &s) {
        return s.reboots == 1 && s.generation == 2 && !s.pty_path.empty();
    }, wait_ms));
    connect_and_sync(sim.get());
    serial_disconnect_port();
    EXPECT_EQ(devsim_get_status(sim.get()).commands, std::vector<std::string>{"b"});
}

// The client's reboot ends by writing "b\r" and closing at once, as the
// finish callback does; a real line delivers the command all the same.
TEST_F(Devsim, CommandWrittenJustBeforeTheCloseIsStillCarriedOut)
{
    for (int round = 0; round < 10; round++) {
        auto sim = start(fast_options({}));
        connect_and_sync(sim.get());
        ASSERT_EQ(console_write("b\r", 2), 1);
        serial_disconnect_port();
        EXPECT_TRUE(devsim_wait(sim.get(), [](const devsim_status &s) { return s.reboots == 1; }, wait_ms))
            << "round " << round;
        EXPECT_EQ(devsim_get_status(sim.get()).commands, std::vector<std::string>{"b"});
    }
}

TEST_F(Devsim, LinkPathThatIsARealFileIsRefused)
{
    test_folder folder;
    devsim_options options;
    options.link_path = folder.path() + "/precious";
    ASSERT_TRUE(g_file_set_contents(options.link_path.c_str(), "keep", -1, nullptr));
    std::string error;
    EXPECT_EQ(devsim_start(options, &error), nullptr);
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos);
    EXPECT_TRUE(g_file_test(options.link_path.c_str(), G_FILE_TEST_IS_REGULAR));
}

TEST_F(Devsim, WithoutPromptTheWaitGoesOnUntilTheClose)
{
    devsim_options options;
    options.send_prompt = false;
    options.greeting = "booting\r\n";
    auto sim = start(options);
    ASSERT_EQ(serial_connect_and_configure_port(devsim_port_name(sim.get()).c_str()), 1);
    EXPECT_EQ(read_until_quiet(), "booting\r\n");
    serial_disconnect_port();
    EXPECT_EQ(console_synch_with_device(), 0);
}

TEST_F(Devsim, EchoFaults)
{
    devsim_options options = fast_options({});
    options.echo = devsim_echo::wrong;
    auto sim = start(options);
    connect_and_sync(sim.get());
    EXPECT_EQ(console_execute_command("u 0 0 0"), 0);
    serial_disconnect_port();
    // The first run's marker ends like a prompt: reconnecting before the
    // device has noticed the close would let the next sync stop on it.
    ASSERT_TRUE(devsim_wait(sim.get(), [](const devsim_status &s) { return s.sessions == 1 && !s.client_connected; },
                            wait_ms));

    options.echo = devsim_echo::none;
    options.send_ack = false;
    devsim_set_options(sim.get(), options);
    connect_and_sync(sim.get());
    ASSERT_EQ(console_write("u 0 0 0\r", 8), 1);
    ASSERT_TRUE(devsim_wait(sim.get(), [](const devsim_status &s) { return s.runs_started == 2; }, wait_ms));
    char nothing[4];
    unsigned got = 9;
    EXPECT_EQ(serial_read(nothing, sizeof nothing, &got), 1);
    EXPECT_EQ(got, 0u);
    serial_disconnect_port();
}

TEST_F(Devsim, GarbageBeforeTheAcknowledgementAndFailureMarker)
{
    devsim_options options = fast_options(counting_bytes(10));
    options.garbage_before_ack = 100;
    options.fail_run = true;
    auto sim = start(options);
    connect_and_sync(sim.get());
    ASSERT_EQ(console_execute_command("u 0 0 0"), 1);
    std::string reply = read_until(devsim_failure_marker);
    ASSERT_EQ(reply.size(), 100 + 4 + 10 + 7u);
    EXPECT_EQ(reply.substr(0, 100).find("OK\r\n"), std::string::npos);
    EXPECT_EQ(reply.substr(100, 4), "OK\r\n");
    serial_disconnect_port();
}

TEST_F(Devsim, SplitMarkerArrivesInTwoReads)
{
    // 60 stream bytes and the marker's first 4 fill one 64-byte read exactly.
    devsim_options options = fast_options(counting_bytes(60));
    options.split_marker_at = 4;
    options.split_marker_pause_ms = 700;
    auto sim = start(options);
    connect_and_sync(sim.get());
    ASSERT_EQ(console_execute_command("u 0 0 0"), 1);
    char ack[4];
    ASSERT_EQ(console_read(ack, 4), 1);
    int reads = 0;
    std::string reply = read_until(devsim_success_marker, nullptr, &reads);
    EXPECT_EQ(reply.size(), 67u);
    EXPECT_EQ(reads, 2);
    serial_disconnect_port();
}

TEST_F(Devsim, PauseMidStreamLetsAReadTimeOutEmpty)
{
    devsim_options options = fast_options(counting_bytes(128));
    options.pauses = {{64, 300}};
    auto sim = start(options);
    connect_and_sync(sim.get());
    ASSERT_EQ(console_execute_command("u 0 0 0"), 1);
    char ack[4];
    ASSERT_EQ(console_read(ack, 4), 1);
    char chunk[64];
    unsigned n = 0;
    ASSERT_EQ(console_read(chunk, 64), 1);
    // Silence longer than a read waits: this read times out with nothing.
    EXPECT_EQ(serial_read(chunk, sizeof chunk, &n), 1);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(read_until(devsim_success_marker).size(), 64 + 7u);
    serial_disconnect_port();
}

TEST_F(Devsim, UnplugMidStreamFailsTheReaderAndTheDeviceComesBack)
{
    // At the line rate, so that the client has read the echo long before the
    // unplug: bytes still in flight are lost, as with a real cable.
    devsim_options options = fast_options(counting_bytes(100000));
    options.bytes_per_second = devsim_line_rate;
    options.unplug_after_bytes = 50000;
    options.absent_ms = 100;
    auto sim = start(options);
    connect_and_sync(sim.get());
    ASSERT_EQ(console_execute_command("u 0 0 0"), 1);
    bool failed = false;
    std::string got = read_until(devsim_success_marker, &failed);
    EXPECT_TRUE(failed);
    EXPECT_LE(got.size(), 4 + 50000u);
    serial_disconnect_port();
    ASSERT_TRUE(devsim_wait(sim.get(), [](const devsim_status &s) {
        return s.unplugs == 1 && s.generation == 2;
    }, wait_ms));
    connect_and_sync(sim.get());
    serial_disconnect_port();
}

TEST_F(Devsim, DumpFileIsPlayedAsTheStream)
{
    test_folder folder;
    std::string path = folder.path() + "/tape.dmp";
    auto bytes = counting_bytes(3001);
    ASSERT_TRUE(g_file_set_contents(path.c_str(), reinterpret_cast<const char *>(bytes.data()),
                                    gssize(bytes.size()), nullptr));
    devsim_options options;
    options.bytes_per_second = 0;
    options.stream = [path](const devsim_sampling_request &) { return devsim_stream_from_file(path); };
    auto sim = start(options);
    connect_and_sync(sim.get());
    ASSERT_EQ(console_execute_command("u 0 0 0"), 1);
    EXPECT_EQ(read_until(devsim_success_marker),
              "OK\r\n" + std::string(bytes.begin(), bytes.end()) + devsim_success_marker);
    serial_disconnect_port();
    EXPECT_EQ(devsim_stream_from_file(folder.path() + "/missing.dmp"), nullptr);
}

TEST_F(Devsim, BuiltInTapeIsWholeSamples)
{
    auto tape = devsim_builtin_tape({});
    unsigned char buffer[4097];
    size_t total = 0;
    for (size_t n; (n = tape->read(buffer, sizeof buffer)) > 0;) {
        EXPECT_EQ(n % 2, 0u);
        total += n;
    }
    EXPECT_GT(total, 100000u);
}

TEST(DevsimProgram, PrintsItsPortPlaysThePromptAndStopsCleanly)
{
    test_folder folder;
    std::string link = folder.path() + "/port";
    std::string program = std::string(ZR7K8_BINARY_DIR) + "/zr7k8-devsim";
    const char *argv[] = {program.c_str(), "--quiet", "--link", link.c_str(), "--greeting", "hi\\r\\n", nullptr};
    GPid pid = 0;
    int out = -1;
    GError *error = nullptr;
    ASSERT_TRUE(g_spawn_async_with_pipes(nullptr, const_cast<char **>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                                         nullptr, nullptr, &pid, nullptr, &out, nullptr, &error))
        << (error ? error->message : "");
    char printed[256] = {};
    size_t have = 0;
    while (have < sizeof printed - 1 && !strchr(printed, '\n')) {
        ssize_t n = read(out, printed + have, sizeof printed - 1 - have);
        if (n <= 0)
            break;
        have += size_t(n);
    }
    close(out);
    std::string path(printed, strcspn(printed, "\n"));
    EXPECT_TRUE(g_str_has_prefix(path.c_str(), "/dev/pts/")) << path;
    char *target = g_file_read_link(link.c_str(), nullptr);
    EXPECT_STREQ(target, path.c_str());
    g_free(target);

    ASSERT_EQ(serial_connect_and_configure_port(link.c_str()), 1);
    EXPECT_EQ(read_until("\r\n> "), "hi\r\n\r\n> ");
    EXPECT_EQ(console_execute_command("u 0 0 0"), 1);
    serial_disconnect_port();

    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(g_file_test(link.c_str(), G_FILE_TEST_IS_SYMLINK));
    g_spawn_close_pid(pid);
}

}  // namespace
