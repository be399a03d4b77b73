// The capture in the real window (run under Xvfb; skipped without a display):
// the whole client's CPU share while it previews a tape sent at the device's
// line rate, the client against a bare reader of the same stream, and the
// time from a click on Abort to " Operation aborted".
//
// Counters: "cpu_share_percent" is the client process's CPU time (interface
// and capture threads; the device runs as its own process) over the wall time
// between " Monitoring..." and " Operation succeeded"; "median_ms" is the
// median of the Abort times. The client against the bare reader:
// "cpu_client_over_bare" is the client's CPU time over the bare reader's for
// the same stream at the line rate ("client_interface_cpu_percent" the
// interface thread's share of it); "rate_client_over_bare" is the client's
// Dump rate over the bare reader's rate, both flat out; and
// "client_heap_growth_MB" is how much more memory the client held at most
// during its Dumps than when a tenth of the first was done;
// "rate_command_over_client" is `zr7k8 dump`'s rate over the client's Dump
// rate on the same stream ("cpu_command_over_client" their CPU times).
#include "devsim.h"
#include "gui_support.h"
#include "save_dialog_helper.h"
#include "main.h"
#include "options.h"
#include "link/serial.h"
#include "support.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "test_pty.h"

#include <benchmark/benchmark.h>
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <glib/gstdio.h>
#include <malloc.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

double process_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double gui_thread_cpu_seconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// What the status bar showed, and when (with the process CPU time then, and
// the interface thread's).
struct status_moment {
    std::string text;
    clock_type::time_point at;
    double cpu = 0;
    double interface_cpu = 0;
};

struct status_watch {
    std::vector<status_moment> seen;
    std::string awaited;
};

void on_text_pushed(GtkStatusbar *, guint, gchar *text, gpointer data)
{
    auto *watch = static_cast<status_watch *>(data);
    watch->seen.push_back({text ? text : "", clock_type::now(), process_cpu_seconds(), gui_thread_cpu_seconds()});
    if (!watch->awaited.empty() && watch->awaited == watch->seen.back().text)
        gtk_main_quit();
}

// Runs the main loop until the status bar shows `text`; false after
// deadline_ms.
bool run_until_status(status_watch *watch, const std::string &text, int deadline_ms = 60000)
{
    if (!watch->seen.empty() && watch->seen.back().text == text)
        return true;
    watch->awaited = text;
    bool shown = test_run_main_loop([] {}, deadline_ms);
    watch->awaited.clear();
    return shown && !watch->seen.empty() && watch->seen.back().text == text;
}

bool start_client(benchmark::State &state, status_watch *watch)
{
    if (!g_getenv("DISPLAY")) {
        state.SkipWithError("no display (run under xvfb-run)");
        return false;
    }
    test_shell_start();
    g_signal_connect(lookup_widget(window_main, "statusbar_main"), "text-pushed", G_CALLBACK(on_text_pushed), watch);
    return true;
}

void set_device_port(const std::string &port)
{
    g_free(options_device_port_string);
    options_device_port_string = g_strdup(port.c_str());
}

// The simulated device as a program of its own, so that its CPU time is not
// the client's, sending the bytes of a DMP file on every run.
struct device_program {
    GPid pid = 0;
    std::string port;
};

// pace: "--fast", or "--rate" with bytes per second, and any other options.
bool start_device_program(const std::string &folder, const std::string &dmp, std::vector<std::string> pace,
                          device_program *device)
{
    device->port = folder + "/device";
    std::vector<std::string> arguments = {std::string(ZR7K8_BINARY_DIR) + "/zr7k8-devsim", "--quiet", "--link",
                                          device->port, "--dmp", dmp};
    arguments.insert(arguments.end(), pace.begin(), pace.end());
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (!g_spawn_async(nullptr, argv.data(), nullptr,
                       GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr, nullptr,
                       &device->pid, nullptr))
        return false;
    for (int i = 0; i < 200 && !g_file_test(device->port.c_str(), G_FILE_TEST_EXISTS); i++)
        g_usleep(10000);
    set_device_port(device->port);
    return true;
}

void stop_device_program(device_program *device)
{
    kill(device->pid, SIGTERM);
    waitpid(device->pid, nullptr, 0);
    g_spawn_close_pid(device->pid);
}

// (c) The whole client, Preview of a tape sent by the simulated device
// running as a program of its own, at the rate given in bytes per second.
void BM_PreviewClientCpuShare(benchmark::State &state)
{
    status_watch watch;
    if (!start_client(state, &watch))
        return;
    test_folder folder;
    std::string tape = folder.path() + "/tape.DMP";
    std::vector<unsigned short> samples;
    for (int i = 0; i < (state.range(0) > 10000 ? 4 : 1); i++) {
        auto demo = tape_demo_samples();
        samples.insert(samples.end(), demo.begin(), demo.end());
    }
    // Cut so that acknowledgement, stream and marker fill whole 64-byte
    // reads: the last read then ends at once rather than on its 500 ms
    // deadline, which would pad the wall time with idleness.
    std::vector<unsigned char> bytes = dmp_bytes_of_samples(samples);
    bytes.resize(bytes.size() - (bytes.size() + 4 + 7) % 64);
    g_file_set_contents(tape.c_str(), reinterpret_cast<const gchar *>(bytes.data()), gssize(bytes.size()), nullptr);
    device_program device;
    if (!start_device_program(folder.path(), tape, {"--rate", std::to_string(state.range(0))}, &device)) {
        state.SkipWithError("cannot start the simulated device");
        return;
    }

    double wall = 0, cpu = 0;
    for (auto _ : state) {
        watch.seen.clear();
        test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
        if (!run_until_status(&watch, " Operation succeeded")) {
            state.SkipWithError("the preview did not succeed");
            break;
        }
        auto began = std::find_if(watch.seen.begin(), watch.seen.end(),
                                  [](const status_moment &m) { return m.text == " Monitoring..."; });
        const status_moment &end = watch.seen.back();
        double seconds = std::chrono::duration<double>(end.at - began->at).count();
        state.SetIterationTime(seconds);
        wall += seconds;
        cpu += end.cpu - began->cpu;
    }
    state.counters["cpu_share_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
    stop_device_program(&device);
    test_shell_stop();
}
// At the line rate (the demo tape 14 times faster than it plays), and at the
// pace of a tape playing (about 6800 bytes a second for this tape).
BENCHMARK(BM_PreviewClientCpuShare)
    ->Arg(devsim_line_rate)
    ->Arg(6800)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// One pass of a stream, from the acknowledgement to the end marker.
struct stream_pass {
    bool complete = false;
    double seconds = 0;
    double cpu_seconds = 0;   // of the reading thread (bare) or the whole process (client)
    double interface_cpu_seconds = 0;   // the client's interface thread
};

// The baseline: the least any program does with the device's stream, a loop
// of poll and 64-byte reads that looks for the acknowledgement and the end
// marker and nothing else.
stream_pass bare_reader(const std::string &port)
{
    stream_pass pass;
    int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return pass;
    termios line;
    if (tcgetattr(fd, &line) == 0) {
        cfmakeraw(&line);
        tcsetattr(fd, TCSANOW, &line);
    }
    static const char command[] = "u 0 0 0\r";
    if (write(fd, command, sizeof command - 1) != ssize_t(sizeof command - 1)) {
        close(fd);
        return pass;
    }
    static const unsigned char ack[] = {'O', 'K', '\r', '\n'};
    unsigned ack_matched = 0;
    bool streaming = false;
    unsigned char last[7] = {};   // the last seven stream bytes
    clock_type::time_point began;
    double cpu_began = 0;
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 2000) <= 0)
            break;
        unsigned char buffer[64];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        ssize_t i = 0;
        for (; !streaming && i < n; i++) {
            ack_matched = buffer[i] == ack[ack_matched] ? ack_matched + 1 : buffer[i] == ack[0];
            if (ack_matched == sizeof ack) {
                streaming = true;
                began = clock_type::now();
                cpu_began = gui_thread_cpu_seconds();
            }
        }
        if (!streaming || i == n)
            continue;
        ssize_t count = n - i;
        if (count >= 7) {
            memcpy(last, buffer + n - 7, 7);
        } else {
            memmove(last, last + count, size_t(7 - count));
            memcpy(last + 7 - count, buffer + i, size_t(count));
        }
        if (memcmp(last, devsim_success_marker, 7) == 0) {
            pass.complete = true;
            pass.seconds = std::chrono::duration<double>(clock_type::now() - began).count();
            pass.cpu_seconds = gui_thread_cpu_seconds() - cpu_began;
            break;
        }
    }
    close(fd);
    return pass;
}

long heap_in_use_kib()
{
    struct mallinfo2 info = mallinfo2();
    return long((info.uordblks + info.hblkhd) / 1024);
}

// The client's memory while a dump runs: what it held when a tenth of the
// stream was in the file, and the most it held afterwards.
struct memory_watch {
    std::string dump;
    off_t tenth = 0;
    long at_tenth_kib = -1, peak_kib = 0;
};

gboolean look_at_memory(gpointer data)
{
    auto *watch = static_cast<memory_watch *>(data);
    struct stat file{};
    if (stat(watch->dump.c_str(), &file) != 0 || file.st_size < watch->tenth)
        return TRUE;
    long now = heap_in_use_kib();
    if (watch->at_tenth_kib < 0)
        watch->at_tenth_kib = now;
    watch->peak_kib = std::max(watch->peak_kib, now);
    return TRUE;
}

// The whole client on the same stream: Preview, or Dump into the file `name`
// of `folder` (its memory use is then watched). From the status text that
// says the stream began to " Operation succeeded".
stream_pass client_pass(status_watch *watch, const std::string &folder, const std::string &name,
                        memory_watch *memory)
{
    const std::string dump = name.empty() ? "" : folder + "/" + name;
    stream_pass pass;
    watch->seen.clear();
    guint looking = 0;
    std::shared_ptr<test_window_watch> chosen;
    if (dump.empty()) {
        test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    } else {
        memory->dump = dump;
        looking = g_timeout_add(100, look_at_memory, memory);
        chosen = test_choose_file(folder, name);
        test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    }
    bool succeeded = run_until_status(watch, " Operation succeeded", 600000);
    if (looking)
        g_source_remove(looking);
    const char *began_text = dump.empty() ? " Monitoring..." : " Dumping...";
    auto began = std::find_if(watch->seen.begin(), watch->seen.end(),
                              [&](const status_moment &m) { return m.text == began_text; });
    if (!succeeded || began == watch->seen.end())
        return pass;
    const status_moment &end = watch->seen.back();
    pass.complete = true;
    pass.seconds = std::chrono::duration<double>(end.at - began->at).count();
    pass.cpu_seconds = end.cpu - began->cpu;
    pass.interface_cpu_seconds = end.interface_cpu - began->interface_cpu;
    return pass;
}

// Random pulse lengths from 40 to 4000 ticks (so no marker can show up in
// them), cut so that acknowledgement, stream and marker fill whole 64-byte
// reads.
bool write_random_pulses(const std::string &path, size_t bytes)
{
    bytes -= (bytes + 4 + 7) % 64;
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    std::mt19937 random(1234);
    std::uniform_int_distribution<unsigned> length(40, 4000);
    std::vector<unsigned char> block(1 << 16);
    for (size_t done = 0; done < bytes;) {
        size_t count = std::min(block.size(), bytes - done);
        for (size_t i = 0; i < count; i += 2) {
            unsigned sample = length(random);
            block[i] = static_cast<unsigned char>(sample & 0xFF);
            block[i + 1] = static_cast<unsigned char>(sample >> 8);
        }
        fwrite(block.data(), 1, count, file);
        done += count;
    }
    return fclose(file) == 0;
}

bool same_files(const std::string &a, const std::string &b)
{
    FILE *first = fopen(a.c_str(), "rb"), *second = fopen(b.c_str(), "rb");
    bool same = first && second;
    std::vector<char> one(1 << 16), two(1 << 16);
    while (same) {
        size_t n = fread(one.data(), 1, one.size(), first);
        same = fread(two.data(), 1, two.size(), second) == n && memcmp(one.data(), two.data(), n) == 0;
        if (n == 0)
            break;
    }
    if (first)
        fclose(first);
    if (second)
        fclose(second);
    return same;
}

// `zr7k8 dump` of the same stream into `dump`: from its "Dumping..." line on
// standard error to its exit, with the whole process's CPU time (start-up
// included).
stream_pass command_pass(const std::string &port, const std::string &dump)
{
    stream_pass pass;
    const std::string program = std::string(ZR7K8_BINARY_DIR) + "/zr7k8";
    const char *argv[] = {program.c_str(), "dump", "--force", "--port", port.c_str(), dump.c_str(), nullptr};
    GPid pid = 0;
    int err = -1;
    if (!g_spawn_async_with_pipes(nullptr, const_cast<char **>(argv), nullptr,
                                  GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr,
                                  nullptr, &pid, nullptr, nullptr, &err, nullptr))
        return pass;
    std::string said;
    auto began = clock_type::now();
    bool began_seen = false;
    char buffer[4096];
    for (ssize_t got; (got = read(err, buffer, sizeof buffer)) > 0;) {
        said.append(buffer, size_t(got));
        if (!began_seen && said.find("Dumping...\n") != std::string::npos) {
            began = clock_type::now();
            began_seen = true;
        }
    }
    close(err);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    pass.seconds = std::chrono::duration<double>(clock_type::now() - began).count();
    g_spawn_close_pid(pid);
    pass.cpu_seconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    pass.complete = began_seen && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return pass;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// (e) The client against the bare reader on the same feed of random pulses,
// one after the other in the same run. At a rate (bytes per second, in
// 64-byte writes as a USB device sends): ten seconds of Preview, and the CPU
// time of each over the stream's wall time. Flat out (0): Dumps of a 50 MB
// stream, each against a bare reader's pass just before it, and `zr7k8 dump`
// of the same stream, whose rate should not fall behind the client's. The
// rates are medians of the pairs' ratios: on a machine whose two cores also
// run the simulated device, a second of bad luck would otherwise tip a
// whole run. The client's memory is watched over all its passes (200 MB and
// more in all).
void BM_ClientAgainstBareReader(benchmark::State &state)
{
    status_watch watch;
    if (!start_client(state, &watch))
        return;
    const unsigned rate = unsigned(state.range(0));
    test_folder folder;
    std::string feed = folder.path() + "/feed.DMP";
    if (!write_random_pulses(feed, rate ? 10 * size_t(rate) : size_t(50) << 20)) {
        state.SkipWithError("cannot write the feed");
        return;
    }
    device_program device;
    std::vector<std::string> pace = {"--fast"};
    if (rate)
        pace = {"--rate", std::to_string(rate), "--write-size", "64"};
    if (!start_device_program(folder.path(), feed, pace, &device)) {
        state.SkipWithError("cannot start the simulated device");
        return;
    }
    struct stat fed{};
    stat(feed.c_str(), &fed);
    double stream_mb = double(fed.st_size) / 1e6;
    stream_pass bare, client, command;   // sums over the iterations
    std::vector<double> client_over_bare, command_over_client;   // per iteration
    memory_watch memory;
    memory.tenth = fed.st_size / 10;
    for (auto _ : state) {
        stream_pass bare_now = bare_reader(device.port);
        // The device notices the close and discards what the reader left.
        g_usleep(300000);
        std::string dump = rate ? "" : folder.path() + "/client.DMP";
        stream_pass client_now = client_pass(&watch, folder.path(), rate ? "" : "client.DMP", &memory);
        if (!bare_now.complete || !client_now.complete || (!dump.empty() && !same_files(dump, feed))) {
            state.SkipWithError("a pass did not get the whole stream");
            break;
        }
        state.SetIterationTime(client_now.seconds);
        if (!dump.empty()) {
            g_unlink(dump.c_str());
            g_usleep(300000);
            const std::string command_dump = folder.path() + "/command.dmp";
            stream_pass command_now = command_pass(device.port, command_dump);
            if (!command_now.complete || !same_files(command_dump, feed)) {
                state.SkipWithError("zr7k8 dump did not get the whole stream");
                break;
            }
            g_unlink(command_dump.c_str());
            client_over_bare.push_back(bare_now.seconds / client_now.seconds);
            command_over_client.push_back(client_now.seconds / command_now.seconds);
            command.seconds += command_now.seconds;
            command.cpu_seconds += command_now.cpu_seconds;
        }
        bare.seconds += bare_now.seconds;
        bare.cpu_seconds += bare_now.cpu_seconds;
        client.seconds += client_now.seconds;
        client.cpu_seconds += client_now.cpu_seconds;
        client.interface_cpu_seconds += client_now.interface_cpu_seconds;
        g_usleep(300000);
    }
    if (rate) {
        state.counters["bare_cpu_percent"] = 100 * bare.cpu_seconds / bare.seconds;
        state.counters["client_cpu_percent"] = 100 * client.cpu_seconds / client.seconds;
        state.counters["client_interface_cpu_percent"] = 100 * client.interface_cpu_seconds / client.seconds;
        state.counters["cpu_client_over_bare"] = client.cpu_seconds / bare.cpu_seconds;
    } else if (!client_over_bare.empty()) {
        double passes = double(state.iterations());
        state.counters["bare_MB_per_s"] = passes * stream_mb / bare.seconds;
        state.counters["client_MB_per_s"] = passes * stream_mb / client.seconds;
        state.counters["rate_client_over_bare"] = median(client_over_bare);
        state.counters["rate_client_over_bare_lowest"] = *std::min_element(client_over_bare.begin(), client_over_bare.end());
        state.counters["command_MB_per_s"] = passes * stream_mb / command.seconds;
        state.counters["rate_command_over_client"] = median(command_over_client);
        state.counters["cpu_command_over_client"] = command.cpu_seconds / client.cpu_seconds;
        state.counters["client_heap_growth_MB"] = double(memory.peak_kib - memory.at_tenth_kib) / 1024;
        state.counters["client_cpu_percent"] = 100 * client.cpu_seconds / client.seconds;
        state.counters["client_interface_cpu_percent"] = 100 * client.interface_cpu_seconds / client.seconds;
    }
    stop_device_program(&device);
    test_shell_stop();
}
BENCHMARK(BM_ClientAgainstBareReader)->Arg(devsim_line_rate)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientAgainstBareReader)->Arg(0)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

// (d) Abort while the worker waits for a tape that does not start; the click
// lands at a random point of the worker's 500 ms read.
void BM_AbortToOperationAborted(benchmark::State &state)
{
    status_watch watch;
    if (!start_client(state, &watch))
        return;
    devsim_options options;
    options.pauses = {{0, 600000}};
    devsim *sim = devsim_start(options);
    set_device_port(devsim_port_name(sim));
    std::mt19937 random(7);
    std::vector<double> times;
    for (auto _ : state) {
        watch.seen.clear();
        test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
        if (!run_until_status(&watch, " Monitoring...")) {
            state.SkipWithError("the preview did not start");
            break;
        }
        g_usleep(random() % 500000);
        auto clicked = clock_type::now();
        test_click(lookup_widget(window_main, "toolbutton_main_abort"));
        if (!run_until_status(&watch, " Operation aborted")) {
            state.SkipWithError("no \" Operation aborted\"");
            break;
        }
        double seconds = std::chrono::duration<double>(watch.seen.back().at - clicked).count();
        state.SetIterationTime(seconds);
        times.push_back(seconds);
        devsim_wait(sim, [](const devsim_status &s) { return !s.client_connected; }, 2000);
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        state.counters["median_ms"] = 1000 * times[times.size() / 2];
        state.counters["max_ms"] = 1000 * times.back();
    }
    devsim_stop(sim);
    test_shell_stop();
}
BENCHMARK(BM_AbortToOperationAborted)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

}  // namespace
