// The capture in the real window (run under Xvfb; skipped without a display):
// the whole client's CPU share while it previews a tape sent at the device's
// line rate, and the time from a click on Abort to " Operation aborted".
//
// Counters: "cpu_share_percent" is the client process's CPU time (interface
// and capture threads; the device runs as its own process) over the wall time
// between " Monitoring..." and " Operation succeeded"; "median_ms" is the
// median of the Abort times.
#include "devsim.h"
#include "gui_support.h"
#include "main.h"
#include "options.h"
#include "serial.h"
#include "support.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "test_pty.h"

#include <benchmark/benchmark.h>
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
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
    std::vector<unsigned char> bytes = tape_samples_to_bytes(samples);
    bytes.resize(bytes.size() - (bytes.size() + 4 + 7) % 64);
    g_file_set_contents(tape.c_str(), reinterpret_cast<const gchar *>(bytes.data()), gssize(bytes.size()), nullptr);
    std::string port = folder.path() + "/device";
    std::string program = std::string(ZR7K8_BINARY_DIR) + "/zr7k8-devsim";
    std::string rate = std::to_string(state.range(0));
    const char *argv[] = {program.c_str(), "--quiet",      "--link",    port.c_str(),
                          "--dmp",         tape.c_str(), "--rate", rate.c_str(), nullptr};
    GPid device = 0;
    if (!g_spawn_async(nullptr, const_cast<char **>(argv), nullptr,
                       GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr, nullptr, &device,
                       nullptr)) {
        state.SkipWithError("cannot start the simulated device");
        return;
    }
    for (int i = 0; i < 200 && !g_file_test(port.c_str(), G_FILE_TEST_EXISTS); i++)
        g_usleep(10000);
    set_device_port(port);

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
    kill(device, SIGTERM);
    waitpid(device, nullptr, 0);
    g_spawn_close_pid(device);
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
