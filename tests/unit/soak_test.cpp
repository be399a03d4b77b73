// Fault and soak runs of the headless capture (the worker's own loop over the
// real serial link) against the simulated device on a real pseudo-terminal:
// a long tape sent as fast as the device can, many captures aborted at random
// points, a console flooded with text before its prompt, and a stream that
// stops without a marker. The interface side is a real GLib main loop on the
// test's thread that takes every hand-over, as the program's does.
//
// The suite runs short versions; scripts/soak sets ZR7K8_SOAK_TAPE_MINUTES
// (tape length) and ZR7K8_SOAK_ABORTS (captures aborted) for the long ones.
#include "link/capture.h"
#include "link/capture_worker.h"
#include "devsim.h"
#include "link/handoff_frame.h"
#include "link/plot.h"
#include "link/serial.h"
#include "tape_demo.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <malloc.h>
#include <sys/stat.h>

namespace {

unsigned setting(const char *name, unsigned fallback)
{
    const char *value = getenv(name);
    return value && *value ? unsigned(strtoul(value, nullptr, 10)) : fallback;
}

// Resident memory of this process in KiB.
long resident_kib()
{
    FILE *status = fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kib = -1;
    while (fgets(line, sizeof line, status))
        if (sscanf(line, "VmRSS: %ld kB", &kib) == 1)
            break;
    fclose(status);
    return kib;
}

// Memory that the program holds from malloc (GLib's allocations included),
// in KiB: unlike resident memory, it falls again when memory is freed.
long heap_in_use_kib()
{
    struct mallinfo2 info = mallinfo2();
    return long((info.uordblks + info.hblkhd) / 1024);
}

int thread_count()
{
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return -1;
    int count = 0;
    while (dirent *entry = readdir(tasks))
        if (entry->d_name[0] != '.')
            count++;
    closedir(tasks);
    return count;
}

// Resident memory says little under AddressSanitizer (freed memory waits in
// its quarantine) or ThreadSanitizer (shadow memory); there LeakSanitizer's
// check at exit stands in for the memory bounds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const bool memory_bounds_apply = false;
#else
const bool memory_bounds_apply = true;
#endif

// The device's line rate in stream bytes per minute of tape.
const unsigned long long bytes_per_tape_minute = 60ull * devsim_line_rate;

// The demo tape (three named files) over and over, cut at `bytes`: a long
// tape with real headers in it, made piece by piece.
class repeated_demo_tape : public devsim_stream {
public:
    explicit repeated_demo_tape(unsigned long long bytes) : left(bytes)
    {
        for (unsigned short sample : tape_demo_samples()) {
            tape.push_back(static_cast<unsigned char>(sample & 0xFF));
            tape.push_back(static_cast<unsigned char>(sample >> 8));
        }
    }
    size_t read(unsigned char *out, size_t room) override
    {
        size_t count = size_t(std::min<unsigned long long>({room, left, tape.size() - at}));
        memcpy(out, tape.data() + at, count);
        at = (at + count) % tape.size();
        left -= count;
        return count;
    }

private:
    std::vector<unsigned char> tape;
    size_t at = 0;
    unsigned long long left;
};

struct soak_sim_deleter {
    void operator()(devsim *sim) const { devsim_stop(sim); }
};
using soak_sim_handle = std::unique_ptr<devsim, soak_sim_deleter>;

soak_sim_handle start_device(const devsim_options &options)
{
    std::string error;
    devsim *sim = devsim_start(options, &error);
    EXPECT_NE(sim, nullptr) << error;
    return soak_sim_handle(sim);
}

// The interface side: a main loop on the test's thread that takes every
// hand-over, scrolls plot rows into an image and frees what it is given.
struct interface_side {
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    std::atomic<bool> finished{false};
    const char *reason = nullptr;
    unsigned names = 0;
    unsigned rows = 0;
    std::vector<unsigned char> image = std::vector<unsigned char>(576 * 3 * 64);

    interface_side() { current = this; }
    ~interface_side()
    {
        plot_forget_image();
        handoff_frame_set_callback(nullptr);
        g_main_loop_unref(loop);
        current = nullptr;
    }

    static interface_side *current;

    static gboolean on_status(gpointer) { return FALSE; }
    static gboolean on_led(gpointer) { return FALSE; }
    static gboolean on_name(gpointer name)
    {
        current->names++;
        g_free(name);
        return FALSE;
    }
    // A frame clock that ticks whenever something waits: it rests, then
    // takes the plot rows into the image and shows the light.
    static gboolean on_frame(gpointer)
    {
        handoff_frame_rest();
        current->rows += unsigned(plot_show_waiting_rows());
        capture_worker_show_light();
        return FALSE;
    }
    static gboolean on_finish(gpointer reason)
    {
        current->reason = static_cast<const char *>(reason);
        current->finished = true;
        // The finish callback closes the port, as the program's does.
        serial_disconnect_port();
        g_main_loop_quit(current->loop);
        return FALSE;
    }

    void install()
    {
        static const capture_worker_callbacks callbacks{on_status, on_led, on_led, on_name};
        capture_worker_set_callbacks(&callbacks);
        handoff_frame_set_callback(on_frame);
        plot_set_image(576, 64, 64, image.data(), 576 * 3);
    }
};
interface_side *interface_side::current = nullptr;

// Runs one capture on a worker thread (as the program's "dump" or "monitor"
// thread does) while the main loop runs; `during` is called every 50 ms on
// the main loop until the capture has finished.
template <typename during_function>
const char *run_capture(interface_side &side, FILE *file, const std::string &port, during_function during)
{
    side.finished = false;
    std::thread worker([file, port] {
        const char *reason = capture_worker_run(file, port.c_str(), "u 0 0 0");
        capture_worker_end(file, reason, interface_side::on_finish);
    });
    struct tick_context {
        during_function *during;
    } context{&during};
    guint tick = g_timeout_add(50, [](gpointer data) -> gboolean {
        (*static_cast<tick_context *>(data)->during)();
        return TRUE;
    }, &context);
    g_main_loop_run(side.loop);
    g_source_remove(tick);
    worker.join();
    return side.reason;
}

bool file_holds_stream(const std::string &path, devsim_stream &expected, unsigned long long *compared)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::vector<unsigned char> want(1 << 16), got(1 << 16);
    bool same = true;
    *compared = 0;
    for (;;) {
        size_t n = expected.read(want.data(), want.size());
        size_t m = fread(got.data(), 1, n ? n : 1, file);
        if (n == 0) {
            same = m == 0;
            break;
        }
        if (m != n || memcmp(want.data(), got.data(), n) != 0) {
            same = false;
            break;
        }
        *compared += n;
    }
    fclose(file);
    return same;
}

TEST(Soak, LongTapeSentAsFastAsPossibleKeepsMemoryFlatAndTheDumpExact)
{
    const unsigned minutes = std::max(2u, setting("ZR7K8_SOAK_TAPE_MINUTES", 2));
    const unsigned long long tape_bytes = minutes * bytes_per_tape_minute;
    devsim_options options;
    options.bytes_per_second = 0;
    options.stream = [tape_bytes](const devsim_sampling_request &) {
        return std::make_unique<repeated_demo_tape>(tape_bytes);
    };
    soak_sim_handle sim = start_device(options);
    ASSERT_TRUE(sim);

    test_folder folder;
    const std::string path = folder.path() + "/tape.dmp";
    FILE *file = g_fopen(path.c_str(), "w+b");
    ASSERT_NE(file, nullptr);

    interface_side side;
    side.install();
    long first_minute_kib = -1, peak_kib = 0, first_minute_heap_kib = -1;
    const gint64 started = g_get_monotonic_time();
    const char *reason = run_capture(side, file, devsim_port_name(sim.get()), [&] {
        GStatBuf status;
        if (g_stat(path.c_str(), &status) != 0)
            return;
        long now = resident_kib();
        if (getenv("ZR7K8_SOAK_VERBOSE"))
            printf("at %lld bytes: %ld KiB resident, %ld KiB in use, %u rows taken\n", (long long)status.st_size,
                   now, heap_in_use_kib(), side.rows);
        if (first_minute_kib < 0 && (unsigned long long)status.st_size >= bytes_per_tape_minute) {
            first_minute_kib = now;
            first_minute_heap_kib = heap_in_use_kib();
        }
        if (first_minute_kib >= 0)
            peak_kib = std::max(peak_kib, now);
    });
    const long last_minute_kib = resident_kib();
    const long last_minute_heap_kib = heap_in_use_kib();
    const double seconds = (g_get_monotonic_time() - started) / 1e6;

    EXPECT_EQ(reason, nullptr) << reason;
    unsigned long long compared = 0;
    repeated_demo_tape expected(tape_bytes);
    EXPECT_TRUE(file_holds_stream(path, expected, &compared)) << "the dump differs after byte " << compared;
    EXPECT_EQ(compared, tape_bytes);
    // The demo tape holds three names per pass, each found every time round.
    EXPECT_GE(side.names, 3u * unsigned(tape_bytes / (2 * tape_demo_samples().size())));

    ASSERT_GE(first_minute_kib, 0) << "the first minute was never seen";
    // Nothing of the stream may pile up: the memory after the last minute is
    // the memory after the first, but for allocator noise.
    // Nothing of the stream may pile up: the memory in use once the capture
    // has ended is what it was after the first minute. Resident memory is
    // only the allocator's high-water mark (plot rows waiting for the main
    // loop when it falls behind for a moment), so it gets a loose bound that
    // still catches growth with the tape's length.
    if (memory_bounds_apply) {
        EXPECT_LE(last_minute_heap_kib - first_minute_heap_kib, 256)
            << "memory in use grew from " << first_minute_heap_kib << " KiB to " << last_minute_heap_kib << " KiB";
        EXPECT_LE(peak_kib - first_minute_kib, 16384)
            << "resident memory went from " << first_minute_kib << " KiB to " << peak_kib << " KiB";
    }
    printf("soak tape: %u min of tape (%llu bytes) in %.1f s; %llu bytes compared; %u names, %u plot rows; "
           "memory in use %ld KiB after the first minute, %ld KiB at the end; "
           "resident %ld KiB after the first minute, %ld KiB at the end, peak %ld KiB\n",
           minutes, tape_bytes, seconds, compared, side.names, side.rows, first_minute_heap_kib, last_minute_heap_kib,
           first_minute_kib, last_minute_kib, peak_kib);
    RecordProperty("first_minute_kib", std::to_string(first_minute_kib));
    RecordProperty("last_minute_kib", std::to_string(last_minute_kib));
}

TEST(Soak, CapturesAbortedAtRandomPointsLeaveNothingBehindAndThePortOpensEveryTime)
{
    const unsigned captures = std::max(4u, setting("ZR7K8_SOAK_ABORTS", 12));
    const unsigned seed = setting("ZR7K8_SOAK_SEED", 7);
    devsim_options options;
    options.greeting = "ZR7K8-LC\r\n";
    options.bytes_per_second = devsim_line_rate;
    options.stream = [](const devsim_sampling_request &) {
        return std::make_unique<repeated_demo_tape>(100 * bytes_per_tape_minute);
    };
    soak_sim_handle sim = start_device(options);
    ASSERT_TRUE(sim);
    const std::string port = devsim_port_name(sim.get());
    test_folder folder;
    interface_side side;
    side.install();
    std::mt19937 random(seed);

    int descriptors_before = -1, threads_before = -1;
    long kib_before = -1, heap_before = -1;
    unsigned streaming_aborts = 0;
    for (unsigned i = 0; i < captures; i++) {
        // Every other capture is a dump, into a file that is removed again.
        const std::string path = folder.path() + "/abort.dmp";
        FILE *file = i % 2 ? g_fopen(path.c_str(), "w+b") : nullptr;
        // The abort falls anywhere from the open to well into the stream.
        const gint64 abort_at = g_get_monotonic_time() + std::uniform_int_distribution<int>(0, 1500)(random) * 1000;
            const char *reason = run_capture(side, file, port, [&] {
            // Abort, as the button does; an abort that came before the port
            // was open found nothing to close, so the user presses it again.
            if (g_get_monotonic_time() >= abort_at)
                serial_disconnect_port();
        });
        ASSERT_NE(reason, capture_reason_no_port) << "capture " << i << ": the port did not open again";
        ASSERT_NE(reason, nullptr) << "capture " << i << " ran to its end instead of being aborted";
        if (reason == capture_reason_communication_error)
            streaming_aborts++;
        if (getenv("ZR7K8_SOAK_VERBOSE"))
            printf("capture %u: %s\n", i, reason);
        g_remove(path.c_str());
        if (i == 1) {
            // Counted after two captures, so that what the first ones set up
            // for good (the link's retired descriptors, GLib's thread pool
            // and caches) is in the baseline.
            descriptors_before = test_open_descriptor_count();
            threads_before = thread_count();
            kib_before = resident_kib();
            heap_before = heap_in_use_kib();
        }
    }
    EXPECT_EQ(test_open_descriptor_count(), descriptors_before) << "descriptors leaked";
    EXPECT_EQ(thread_count(), threads_before) << "threads left behind";
    const long kib_after = resident_kib();
    const long heap_after = heap_in_use_kib();
    if (memory_bounds_apply) {
        EXPECT_LE(heap_after - heap_before, 128)
            << "memory in use grew from " << heap_before << " KiB to " << heap_after << " KiB";
    }
    EXPECT_GT(streaming_aborts, 0u) << "no abort fell into the stream";
    printf("soak aborts: %u captures aborted (%u while streaming), seed %u; descriptors %d, threads %d; "
           "memory in use %ld KiB after the second capture, %ld KiB at the end; resident %ld KiB and %ld KiB\n",
           captures, streaming_aborts, seed, descriptors_before, threads_before, heap_before, heap_after, kib_before,
           kib_after);
}

TEST(Fault, ConsoleFloodedWithTextBeforeItsPromptStillCaptures)
{
    // Half a megabyte of chatter before the prompt: lines, and ">" that is
    // no prompt (a prompt inside the flood would rightly end the wait early).
    std::string flood;
    while (flood.size() < 512 * 1024)
        flood += "boot: tape motor sense line ok, level > 3\r\n>>> self test passed\r\n";
    devsim_options options;
    options.greeting = flood;
    options.bytes_per_second = 0;
    options.stream = [](const devsim_sampling_request &) {
        return std::make_unique<repeated_demo_tape>(bytes_per_tape_minute / 4);
    };
    soak_sim_handle sim = start_device(options);
    ASSERT_TRUE(sim);
    test_folder folder;
    const std::string path = folder.path() + "/flood.dmp";
    FILE *file = g_fopen(path.c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    interface_side side;
    side.install();
    const char *reason = run_capture(side, file, devsim_port_name(sim.get()), [] {});
    EXPECT_EQ(reason, nullptr) << reason;
    unsigned long long compared = 0;
    repeated_demo_tape expected(bytes_per_tape_minute / 4);
    EXPECT_TRUE(file_holds_stream(path, expected, &compared));
}

TEST(Fault, ConsoleFloodWithoutPromptWaitsUntilAbort)
{
    std::string flood(256 * 1024, 'x');
    devsim_options options;
    options.greeting = flood;
    options.send_prompt = false;
    soak_sim_handle sim = start_device(options);
    ASSERT_TRUE(sim);
    interface_side side;
    side.install();
    const gint64 started = g_get_monotonic_time();
    bool aborted = false;
    const char *reason = run_capture(side, nullptr, devsim_port_name(sim.get()), [&] {
        if (!aborted && devsim_get_status(sim.get()).client_connected &&
            g_get_monotonic_time() - started > G_USEC_PER_SEC) {
            serial_disconnect_port();
            aborted = true;
        }
    });
    EXPECT_TRUE(aborted);
    EXPECT_EQ(reason, capture_reason_no_sync);
    EXPECT_TRUE(devsim_get_status(sim.get()).commands.empty()) << "nothing is sent before the prompt";
}

// The processor time of the wait: BM_WaitOnASilentDevice in bench/.
TEST(Fault, StreamThatStopsWithoutAMarkerWaitsAndEndsAtOnceOnAbort)
{
    const size_t sent_before_stop = 100000;
    devsim_options options;
    options.bytes_per_second = 0;
    options.stream = [](const devsim_sampling_request &) {
        return std::make_unique<repeated_demo_tape>(bytes_per_tape_minute);
    };
    // After 100000 bytes the device falls silent for a day.
    options.pauses = {{sent_before_stop, 24u * 3600 * 1000}};
    soak_sim_handle sim = start_device(options);
    ASSERT_TRUE(sim);
    test_folder folder;
    const std::string path = folder.path() + "/stalled.dmp";
    FILE *file = g_fopen(path.c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    interface_side side;
    side.install();

    enum { streaming, waiting, aborted } phase = streaming;
    gint64 silence_started = 0, abort_time = 0;
    const char *reason = run_capture(side, file, devsim_port_name(sim.get()), [&] {
        // The file lags behind by what its buffer holds; the device knows.
        if (phase == streaming && devsim_get_status(sim.get()).run_bytes_sent >= sent_before_stop) {
            phase = waiting;
            silence_started = g_get_monotonic_time();
        } else if (phase == waiting && g_get_monotonic_time() - silence_started >= 2 * G_USEC_PER_SEC) {
            phase = aborted;
            abort_time = g_get_monotonic_time();
            serial_disconnect_port();
        }
    });
    const double abort_to_end = (g_get_monotonic_time() - abort_time) / 1e6;
    ASSERT_EQ(phase, aborted);
    EXPECT_EQ(reason, capture_reason_communication_error);
    // The read under way ends when the port closes: generous bound, hangs only.
    EXPECT_LT(abort_to_end, 5.0);
    GStatBuf status;
    ASSERT_EQ(g_stat(path.c_str(), &status), 0);
    EXPECT_EQ(size_t(status.st_size), sent_before_stop) << "every byte sent before the silence is in the file";
    printf("stalled stream: ended %.3f s after the abort\n", abort_to_end);
}

}  // namespace
