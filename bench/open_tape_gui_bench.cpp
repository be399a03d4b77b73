// Open Tape of a 45-minute dump in the real window (run under Xvfb; skipped
// without a display): the time from the call to " Opened NAME", and how long
// the main loop went at most without running a 10 ms timeout meanwhile (the
// longest the window stopped answering).
//
// Counters: "open_s" is the time to open; "longest_stall_ms" the main loop's
// longest gap; "tape_minutes" the tape's length.
#include "callbacks_open_tape.h"
#include "gui_support.h"
#include "main.h"
#include "support.h"
#include "tape/dmp.h"
#include "tape_demo.h"
#include "test_pty.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

namespace {

constexpr unsigned long long tape_seconds = 45 * 60;

struct stall_watch {
    gint64 last_us = 0;
    gint64 longest_us = 0;
};

gboolean on_tick(gpointer data)
{
    auto *watch = static_cast<stall_watch *>(data);
    const gint64 now = g_get_monotonic_time();
    watch->longest_us = std::max(watch->longest_us, now - watch->last_us);
    watch->last_us = now;
    return G_SOURCE_CONTINUE;
}

void BM_OpenTape45MinuteDump(benchmark::State &state)
{
    if (!g_getenv("DISPLAY")) {
        state.SkipWithError("no display (run under xvfb-run)");
        return;
    }
    test_folder folder;
    const std::string path = folder.path() + "/long.DMP";
    std::string error;
    if (!dmp_write_file(path.c_str(), tape_demo_samples_lasting(tape_seconds), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    test_shell_start();
    const std::string opened = " Opened long.DMP";
    double longest_ms = 0;
    for (auto _ : state) {
        stall_watch watch{g_get_monotonic_time(), 0};
        const guint tick = g_timeout_add(10, on_tick, &watch);
        const gint64 began = g_get_monotonic_time();
        callbacks_open_tape(path.c_str());
        if (!test_pump_until([&] { return test_statusbar_text() == opened; }, 600000)) {
            state.SkipWithError("the tape did not open");
            break;
        }
        state.SetIterationTime(double(g_get_monotonic_time() - began) / 1e6);
        on_tick(&watch);
        g_source_remove(tick);
        longest_ms = std::max(longest_ms, double(watch.longest_us) / 1000);
        test_pump_pending();
    }
    state.counters["longest_stall_ms"] = longest_ms;
    state.counters["tape_minutes"] = double(tape_seconds) / 60;
    test_shell_stop();
}
BENCHMARK(BM_OpenTape45MinuteDump)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
