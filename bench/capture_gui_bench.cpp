// The capture in the real window (run under Xvfb; skipped without a display):
// the whole client's CPU share while it previews a tape sent at the device's
// line rate, the time from a click on Abort to " Operation aborted", and the
// client's Dump against `zr7k8 dump` of a tape sent flat out.
//
// Counters: "cpu_share_percent" is the client process's CPU time (interface
// and capture threads; the device runs as its own process) over the wall time
// between " Monitoring..." and " Operation succeeded"; "median_ms" is the
// median of the Abort times.
#include "config_home.h"
#include "devsim.h"
#include "gui_support.h"
#include "main.h"
#include "options.h"
#include "save_dialog_helper.h"
#include "serial.h"
#include "support.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "test_pty.h"

#include <benchmark/benchmark.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <csignal>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

double process_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// What the status bar showed, and when (with the process CPU time then).
struct status_moment {
    std::string text;
    clock_type::time_point at;
    double cpu = 0;
};

struct status_watch {
    std::vector<status_moment> seen;
    std::string awaited;
};

void on_text_pushed(GtkStatusbar *, guint, gchar *text, gpointer data)
{
    auto *watch = static_cast<status_watch *>(data);
    watch->seen.push_back({text ? text : "", clock_type::now(), process_cpu_seconds()});
    if (!watch->awaited.empty() && watch->awaited == watch->seen.back().text)
        gtk_main_quit();
}

// Runs the main loop until the status bar shows `text`; false after 60 s.
bool run_until_status(status_watch *watch, const std::string &text)
{
    if (!watch->seen.empty() && watch->seen.back().text == text)
        return true;
    watch->awaited = text;
    bool shown = test_run_main_loop([] {}, 60000);
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

// The simulated device as a program of its own, playing a tape file.
struct device_program {
    GPid pid = 0;
    std::string port;            // its link, the device port to open
    std::vector<unsigned char> stream;  // the sample stream it sends
};

// Writes `copies` demo tapes, cut so that acknowledgement, stream and marker
// fill whole 64-byte reads (the last read then ends at once rather than on
// its 500 ms deadline, which would pad the wall time with idleness), into
// `folder` and starts the device on them with `rate_options` (e.g. "--rate",
// "6800" or "--fast"). Returns false after marking the state skipped.
bool start_device_program(benchmark::State &state, const std::string &folder, int copies,
                          const std::vector<std::string> &rate_options, device_program *device)
{
    std::vector<unsigned short> samples;
    for (int i = 0; i < copies; i++) {
        auto demo = tape_demo_samples();
        samples.insert(samples.end(), demo.begin(), demo.end());
    }
    device->stream = tape_samples_to_bytes(samples);
    device->stream.resize(device->stream.size() - (device->stream.size() + 4 + 7) % 64);
    const std::string tape = folder + "/tape.DMP";
    g_file_set_contents(tape.c_str(), reinterpret_cast<const gchar *>(device->stream.data()),
                        gssize(device->stream.size()), nullptr);
    device->port = folder + "/device";
    const std::string program = std::string(ZR7K8_BINARY_DIR) + "/zr7k8-devsim";
    std::vector<const char *> argv{program.c_str(), "--quiet", "--link", device->port.c_str(), "--dmp", tape.c_str()};
    for (const std::string &option : rate_options)
        argv.push_back(option.c_str());
    argv.push_back(nullptr);
    if (!g_spawn_async(nullptr, const_cast<char **>(argv.data()), nullptr,
                       GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr, nullptr,
                       &device->pid, nullptr)) {
        state.SkipWithError("cannot start the simulated device");
        return false;
    }
    for (int i = 0; i < 200 && !g_file_test(device->port.c_str(), G_FILE_TEST_EXISTS); i++)
        g_usleep(10000);
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
    device_program device;
    if (!start_device_program(state, folder.path(), state.range(0) > 10000 ? 4 : 1,
                              {"--rate", std::to_string(state.range(0))}, &device))
        return;
    set_device_port(device.port);

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

// (e) The client's Dump against `zr7k8 dump`: the same tape (the demo tape 32
// times, 4.3 MB) from the same simulated device program sending flat out
// (--fast). Both are timed from the acknowledgement (" Dumping...", or the
// line "Dumping..." on the command's standard error) to the end (" Operation
// succeeded", or the command's exit). "MB_per_s" is stream bytes over that
// time; "cpu_ms_per_MB" is CPU time per MB of stream: for the client its
// process (interface and capture threads) over the same span, for the command
// its whole process, start and set-up included.
constexpr int flat_out_copies = 32;

bool holds_stream(const std::string &path, const device_program &device)
{
    const std::string bytes = test_read_file(path);
    return bytes.size() == device.stream.size() && memcmp(bytes.data(), device.stream.data(), bytes.size()) == 0;
}

void set_dump_counters(benchmark::State &state, double bytes, double wall, double cpu)
{
    state.SetBytesProcessed(int64_t(bytes));
    state.counters["MB_per_s"] = wall > 0 ? bytes / 1e6 / wall : 0;
    state.counters["cpu_ms_per_MB"] = bytes > 0 ? 1000.0 * cpu / (bytes / 1e6) : 0;
}

void BM_DumpFlatOutClient(benchmark::State &state)
{
    status_watch watch;
    if (!start_client(state, &watch))
        return;
    test_folder folder;
    device_program device;
    if (!start_device_program(state, folder.path(), flat_out_copies, {"--fast"}, &device))
        return;
    set_device_port(device.port);
    const std::string dump = folder.path() + "/client.DMP";
    double wall = 0, cpu = 0, bytes = 0;
    for (auto _ : state) {
        watch.seen.clear();
        g_unlink(dump.c_str());
        auto chosen = test_choose_file(folder.path(), "client");
        test_click(lookup_widget(window_main, "toolbutton_main_dump"));
        if (!run_until_status(&watch, " Operation succeeded") || !holds_stream(dump, device)) {
            state.SkipWithError("the dump did not succeed or its file is not the stream");
            break;
        }
        auto began = std::find_if(watch.seen.begin(), watch.seen.end(),
                                  [](const status_moment &m) { return m.text == " Dumping..."; });
        const status_moment &end = watch.seen.back();
        const double seconds = std::chrono::duration<double>(end.at - began->at).count();
        state.SetIterationTime(seconds);
        wall += seconds;
        cpu += end.cpu - began->cpu;
        bytes += double(device.stream.size());
    }
    set_dump_counters(state, bytes, wall, cpu);
    stop_device_program(&device);
    test_shell_stop();
}
BENCHMARK(BM_DumpFlatOutClient)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// One `zr7k8 dump` run: the time from its "Dumping..." line to its exit, and
// its whole CPU time. Returns false when it did not succeed.
bool run_command_dump(const device_program &device, const std::string &dump, double *seconds, double *cpu)
{
    const std::string program = std::string(ZR7K8_BINARY_DIR) + "/zr7k8";
    const char *argv[] = {program.c_str(), "dump", "--force", "--port", device.port.c_str(), dump.c_str(), nullptr};
    GPid pid = 0;
    int err = -1;
    if (!g_spawn_async_with_pipes(nullptr, const_cast<char **>(argv), nullptr,
                                  GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr,
                                  nullptr, &pid, nullptr, nullptr, &err, nullptr))
        return false;
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
    const auto ended = clock_type::now();
    g_spawn_close_pid(pid);
    *seconds = std::chrono::duration<double>(ended - began).count();
    *cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return began_seen && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_DumpFlatOutCommandLine(benchmark::State &state)
{
    test_folder folder;
    device_program device;
    if (!start_device_program(state, folder.path(), flat_out_copies, {"--fast"}, &device))
        return;
    const std::string dump = folder.path() + "/command.dmp";
    double wall = 0, cpu = 0, bytes = 0;
    for (auto _ : state) {
        double seconds = 0, cpu_seconds = 0;
        if (!run_command_dump(device, dump, &seconds, &cpu_seconds) || !holds_stream(dump, device)) {
            state.SkipWithError("the dump did not succeed or its file is not the stream");
            break;
        }
        state.SetIterationTime(seconds);
        wall += seconds;
        cpu += cpu_seconds;
        bytes += double(device.stream.size());
    }
    set_dump_counters(state, bytes, wall, cpu);
    stop_device_program(&device);
}
BENCHMARK(BM_DumpFlatOutCommandLine)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

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
