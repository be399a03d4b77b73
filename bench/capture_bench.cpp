// The capture: the whole sample pass (and the tape health measure in it), a dump through a pseudo-terminal as
// fast as the simulated device can send (against `cat` on the same kind of
// pseudo-terminal), the client's CPU share at the real line rate, and its CPU
// share while a device that stopped sending stays silent.
//
// Counters: "x_line_rate" is how many times faster than the device's highest
// sample rate (46080 samples per second) the pass (or the health measure
// alone) runs; "vs_cat" is the client's dump throughput divided by cat's;
// "cpu_share_percent" is the capture thread's CPU time over the wall time of
// a paced dump, or of the silence.
#include "link/capture.h"
#include "link/capture_worker.h"
#include "devsim.h"
#include "link/handoff.h"
#include "link/plot.h"
#include "link/sample_pass.h"
#include "link/serial.h"
#include "tape/tape_health.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "tape_synth.h"
#include "test_pty.h"

#include <benchmark/benchmark.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <chrono>
#include <csignal>
#include <pthread.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <vector>

namespace {

constexpr double line_rate_samples_per_second = 46080;

// The demo tape 32 times over (4 MB): all three formats, pilots, data, silences.
const std::vector<unsigned short> &long_tape()
{
    static const std::vector<unsigned short> tape = [] {
        std::vector<unsigned short> demo = tape_demo_samples(), all;
        all.reserve(demo.size() * 32);
        while (all.size() < demo.size() * 32)
            all.insert(all.end(), demo.begin(), demo.end());
        return all;
    }();
    return tape;
}

// Where the block reader works hardest: four programs of 30000 bytes in the
// built-in format (about 5 million samples, nine in ten of them inside bytes).
const std::vector<unsigned short> &rom_data_tape()
{
    static const std::vector<unsigned short> tape = [] {
        std::vector<unsigned char> program(30000);
        for (size_t i = 0; i < program.size(); ++i)
            program[i] = static_cast<unsigned char>(i * 7);
        tape_synth synth;
        tape_synth_init(&synth, 0, 60, 9);
        for (int i = 0; i < 4; ++i)
            tape_rom_program(&synth, tape_name_field("PROGRAM"), 0x0801, program.data(), program.size());
        return synth.samples;
    }();
    return tape;
}

// The flat-out comparison's feed: 4 million random pulses of 40 to 4000
// ticks. A plot row finishes every 50 or so, and the decoders' searches
// rarely get past their first state.
const std::vector<unsigned short> &random_tape()
{
    static const std::vector<unsigned short> tape = [] {
        std::mt19937 random(1234);
        std::uniform_int_distribution<unsigned> length(40, 4000);
        std::vector<unsigned short> samples(4000000);
        for (unsigned short &sample : samples)
            sample = static_cast<unsigned short>(length(random));
        return samples;
    }();
    return tape;
}

// The plot's size in the program's window; rows are taken into it by the
// interface thread, which is no part of the capture's own work, so here they
// wait in the plot's row store (where newer ones take the place of older).
unsigned char plot_image[576 * 3 * 400];

gboolean drop_name(gpointer name)
{
    g_free(name);
    return FALSE;
}

gboolean ignore(gpointer)
{
    return FALSE;
}

// When the capture message was posted: the acknowledgement has arrived and
// the stream begins (everything runs on the capture thread here).
std::chrono::steady_clock::time_point stream_began;

gboolean note_status(gpointer text)
{
    if (g_str_equal(static_cast<const char *>(text), "Dumping..."))
        stream_began = std::chrono::steady_clock::now();
    return FALSE;
}

void run_at_once(GSourceFunc callback, gpointer data)
{
    callback(data);
}

void set_up_interface()
{
    handoff_set_poster(run_at_once);
    plot_set_image(576, 400, 400, plot_image, 576 * 3);
    static const capture_worker_callbacks callbacks{note_status, ignore, ignore, drop_name};
    capture_worker_set_callbacks(&callbacks);
}

gboolean drop_file(gpointer file)
{
    g_free(file);
    return FALSE;
}

void run_sample_pass(benchmark::State &state, const std::vector<unsigned short> &tape, bool list_files)
{
    set_up_interface();
    sample_pass pass;
    sample_pass_init(&pass, drop_name);
    sample_pass_use_capture_decoders(&pass);
    if (list_files)
        sample_pass_list_files(&pass, drop_file);
    for (auto _ : state) {
        // In the pieces that 64-byte reads bring.
        for (size_t at = 0; at < tape.size(); at += 32)
            sample_pass_take(&pass, tape.data() + at, unsigned(std::min<size_t>(32, tape.size() - at)));
        benchmark::DoNotOptimize(pass.tick_sum);
    }
    double samples = double(state.iterations()) * double(tape.size());
    state.SetItemsProcessed(int64_t(samples));
    state.counters["x_line_rate"] = benchmark::Counter(samples / line_rate_samples_per_second, benchmark::Counter::kIsRate);
}

// (a) Every sample through the plot's row builder and the three decoders.
void BM_SamplePass(benchmark::State &state)
{
    run_sample_pass(state, long_tape(), false);
}
BENCHMARK(BM_SamplePass);

// (a') The same with the tape's files listed (block reader and tape index),
// on the same tape and on one made of long data blocks.
void BM_SamplePassListingFiles(benchmark::State &state)
{
    run_sample_pass(state, long_tape(), true);
}
BENCHMARK(BM_SamplePassListingFiles);

void BM_SamplePassOnRomData(benchmark::State &state)
{
    run_sample_pass(state, rom_data_tape(), false);
}
BENCHMARK(BM_SamplePassOnRomData);

void BM_SamplePassOnRomDataListingFiles(benchmark::State &state)
{
    run_sample_pass(state, rom_data_tape(), true);
}
BENCHMARK(BM_SamplePassOnRomDataListingFiles);

void BM_SamplePassOnRandomPulsesListingFiles(benchmark::State &state)
{
    run_sample_pass(state, random_tape(), true);
}
BENCHMARK(BM_SamplePassOnRandomPulsesListingFiles);

// (a'') The tape health measure alone (part of every pass above), on the
// demo tape and on random pulses, which never make a pilot.
void run_tape_health(benchmark::State &state, const std::vector<unsigned short> &tape)
{
    tape_health health;
    tape_health_init(&health, 985248, 0);
    for (auto _ : state) {
        for (size_t at = 0; at < tape.size(); at += 32)
            tape_health_feed(&health, tape.data() + at, std::min<size_t>(32, tape.size() - at));
        benchmark::DoNotOptimize(health.tick);
    }
    double samples = double(state.iterations()) * double(tape.size());
    state.SetItemsProcessed(int64_t(samples));
    state.counters["x_line_rate"] = benchmark::Counter(samples / line_rate_samples_per_second, benchmark::Counter::kIsRate);
}

void BM_TapeHealth(benchmark::State &state)
{
    run_tape_health(state, long_tape());
}
BENCHMARK(BM_TapeHealth);

void BM_TapeHealthOnRandomPulses(benchmark::State &state)
{
    run_tape_health(state, random_tape());
}
BENCHMARK(BM_TapeHealthOnRandomPulses);

// The same through the capture engine, in 64-byte reads as the port brings
// them: chunk rules, marker watch and sample pass.
void BM_EngineInReadsOf64(benchmark::State &state)
{
    set_up_interface();
    std::vector<unsigned char> bytes = dmp_bytes_of_samples(long_tape());
    static const unsigned char ack[] = {'O', 'K', '\r', '\n'};
    for (auto _ : state) {
        sample_pass pass;
        sample_pass_init(&pass, drop_name);
        sample_pass_use_capture_decoders(&pass);
        capture_outputs outputs{nullptr, nullptr, sample_pass_take, &pass};
        capture_state capture;
        capture_init(&capture, nullptr, &outputs);
        capture_take_read(&capture, ack, sizeof ack);
        for (size_t at = 0; at < bytes.size(); at += 64) {
            capture_before_read(&capture);
            capture_take_read(&capture, bytes.data() + at, unsigned(std::min<size_t>(64, bytes.size() - at)));
        }
        benchmark::DoNotOptimize(pass.tick_sum);
    }
    double samples = double(state.iterations()) * double(bytes.size() / 2);
    state.SetBytesProcessed(int64_t(samples * 2));
    state.counters["x_line_rate"] = benchmark::Counter(samples / line_rate_samples_per_second, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EngineInReadsOf64);

double thread_cpu_seconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct dump_result {
    bool exact = false;
    double seconds = 0;         // from the acknowledgement to the end of the capture
    double cpu_seconds = 0;     // of the capture thread, over the same span
};

// One whole dump as the worker runs it, into a file in `folder`; checks that
// the file holds exactly `stream`.
dump_result dump_once(devsim *sim, const std::string &folder, const std::vector<unsigned char> &stream)
{
    std::string path = folder + "/bench.DMP";
    FILE *file = g_fopen(path.c_str(), "w+b");
    std::string port = devsim_port_name(sim);
    dump_result result;
    double cpu_start = thread_cpu_seconds();
    const char *reason = capture_worker_run(file, port.c_str(), "u 0 0 0");
    reason = capture_finish_file(file, reason);
    // The opening (the prompt wait ends on its 500 ms read deadline) is no
    // part of the stream; its CPU time is counted all the same.
    result.seconds = seconds_since(stream_began);
    result.cpu_seconds = thread_cpu_seconds() - cpu_start;
    serial_disconnect_port();
    std::vector<unsigned char> written;
    tape_read_file(path.c_str(), &written, nullptr);
    result.exact = reason == nullptr && written == stream;
    g_unlink(path.c_str());
    return result;
}

// The bytes of a tape, cut so that the acknowledgement, the stream and the
// marker fill whole 64-byte reads: a capture's last read otherwise waits out
// its 500 ms deadline, which says nothing about throughput.
std::vector<unsigned char> stream_of(const std::vector<unsigned short> &tape)
{
    std::vector<unsigned char> bytes = dmp_bytes_of_samples(tape);
    bytes.resize(bytes.size() - (bytes.size() + 4 + 7) % 64);
    return bytes;
}

devsim *start_device(const std::vector<unsigned char> &stream, unsigned bytes_per_second)
{
    devsim_options options;
    options.bytes_per_second = bytes_per_second;
    options.stream = [stream](const devsim_sampling_request &) { return devsim_stream_from_bytes(stream); };
    return devsim_start(options);
}

// Dumps of `tape` from the simulated device sending at bytes_per_second
// (0: as fast as it can): throughput and the capture thread's CPU share.
void dump_benchmark(benchmark::State &state, const std::vector<unsigned short> &tape, unsigned bytes_per_second)
{
    set_up_interface();
    std::vector<unsigned char> stream = stream_of(tape);
    devsim *sim = start_device(stream, bytes_per_second);
    test_folder folder;
    double bytes = 0, wall = 0, cpu = 0;
    for (auto _ : state) {
        dump_result result = dump_once(sim, folder.path(), stream);
        if (!result.exact) {
            state.SkipWithError("the file is not the device's stream");
            break;
        }
        state.SetIterationTime(result.seconds);
        bytes += double(stream.size());
        wall += result.seconds;
        cpu += result.cpu_seconds;
    }
    state.SetBytesProcessed(int64_t(bytes));
    state.counters["cpu_share_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
    devsim_stop(sim);
}

// (b) The client's dump, the device sending as fast as it can.
void BM_DumpFlatOut(benchmark::State &state)
{
    dump_benchmark(state, long_tape(), 0);
}
BENCHMARK(BM_DumpFlatOut)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// `cat` reading the same pseudo-terminal from the same device: the shell
// opens the port, sets it raw, sends the sampling command and leaves cat to
// copy what comes into a file; the clock stops when the file holds the whole
// run (prompt, echo, acknowledgement, stream and marker).
void BM_CatFlatOut(benchmark::State &state)
{
    std::vector<unsigned char> stream = stream_of(long_tape());
    devsim *sim = start_device(stream, 0);
    test_folder folder;
    std::string out = folder.path() + "/cat.out";
    const size_t expected = strlen("\r\n> ") + strlen("u 0 0 0\r\n") + strlen("OK\r\n") + stream.size() + 7;
    double bytes = 0;
    for (auto _ : state) {
        std::string port = devsim_port_name(sim);
        const char *script = "exec 3<>\"$1\"; stty -F \"$1\" raw -echo; printf 'u 0 0 0\\r' >&3; exec cat <&3 >\"$2\"";
        const char *argv[] = {"/bin/sh", "-c", script, "sh", port.c_str(), out.c_str(), nullptr};
        GPid pid = 0;
        auto start = std::chrono::steady_clock::now();
        if (!g_spawn_async(nullptr, const_cast<char **>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr,
                           &pid, nullptr)) {
            state.SkipWithError("cannot start cat");
            break;
        }
        // From the acknowledgement's arrival to the whole run's, as for the
        // client.
        const size_t header = expected - stream.size() - 7;
        struct stat status{};
        auto began = start;
        bool began_seen = false;
        while (stat(out.c_str(), &status) != 0 || size_t(status.st_size) < expected) {
            if (!began_seen && stat(out.c_str(), &status) == 0 && size_t(status.st_size) >= header) {
                began = std::chrono::steady_clock::now();
                began_seen = true;
            }
            if (seconds_since(start) > 60)
                break;
        }
        double seconds = seconds_since(began);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        g_spawn_close_pid(pid);
        if (size_t(status.st_size) < expected) {
            state.SkipWithError("cat did not get the whole run");
            break;
        }
        state.SetIterationTime(seconds);
        bytes += double(stream.size());
        devsim_wait(sim, [](const devsim_status &s) { return !s.client_connected; }, 2000);
    }
    state.SetBytesProcessed(int64_t(bytes));
    devsim_stop(sim);
}
BENCHMARK(BM_CatFlatOut)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// (c) A dump at the device's real line rate (the demo tape, about 1.5 s of
// line): the capture thread's CPU time against the wall time. The whole
// client with its window: capture_gui_bench.cpp.
void BM_DumpAtLineRateCpuShare(benchmark::State &state)
{
    dump_benchmark(state, tape_demo_samples(), devsim_line_rate);
}
BENCHMARK(BM_DumpAtLineRateCpuShare)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// (d) A capture whose device falls silent mid-stream (a tape stopped without
// its end): the capture thread waits in its reads until the user aborts. A
// loop that spun would show a share near 100 %, a waiting one near 0.
void BM_WaitOnASilentDevice(benchmark::State &state)
{
    set_up_interface();
    const size_t sent_before_silence = 4096;
    devsim_options options;
    options.bytes_per_second = 0;
    options.stream = [](const devsim_sampling_request &) { return devsim_stream_pulse_pattern(100000); };
    options.pauses = {{sent_before_silence, 24u * 3600 * 1000}};
    devsim *sim = devsim_start(options);
    if (sim == nullptr) {
        state.SkipWithError("no simulated device");
        return;
    }
    const std::string port = devsim_port_name(sim);
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        std::thread worker([&port] { capture_worker_run(nullptr, port.c_str(), "u 0 0 0"); });
        clockid_t worker_clock;
        pthread_getcpuclockid(worker.native_handle(), &worker_clock);
        const bool silent = devsim_wait(
            sim, [](const devsim_status &s) { return s.run_bytes_sent >= sent_before_silence; }, 10000);
        // The bytes before the silence are taken in well under this.
        g_usleep(200 * 1000);
        timespec cpu_start, cpu_end;
        clock_gettime(worker_clock, &cpu_start);
        const auto start = std::chrono::steady_clock::now();
        g_usleep(G_USEC_PER_SEC);
        clock_gettime(worker_clock, &cpu_end);
        const double seconds = seconds_since(start);
        serial_disconnect_port();
        worker.join();
        if (!silent) {
            state.SkipWithError("the device never reached its silence");
            break;
        }
        state.SetIterationTime(seconds);
        wall += seconds;
        cpu += double(cpu_end.tv_sec - cpu_start.tv_sec) + double(cpu_end.tv_nsec - cpu_start.tv_nsec) / 1e9;
        devsim_wait(sim, [](const devsim_status &s) { return !s.client_connected; }, 2000);
    }
    state.counters["cpu_share_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
    devsim_stop(sim);
}
BENCHMARK(BM_WaitOnASilentDevice)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
