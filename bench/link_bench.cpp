// The device link against the simulated device: how fast a stream comes
// through the serial reads the capture uses, and how soon a close from
// another thread ends a read that waits on a silent device.
#include "link/console.h"
#include "devsim.h"
#include "link/serial.h"

#include <benchmark/benchmark.h>
#include <glib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Reads 64-byte chunks until the success marker ends the data; returns the
// stream bytes, or -1 on a failed read. *complete is when the last of
// `expected` stream bytes arrived (the read that brings the marker's end then
// waits out its deadline, which is no part of the stream's speed).
long read_stream(long expected, std::chrono::steady_clock::time_point *complete)
{
    std::string tail;
    long total = 0;
    for (;;) {
        char chunk[64];
        unsigned n = 0;
        if (!serial_read(chunk, sizeof chunk, &n))
            return -1;
        if (total < expected && total + long(n) >= expected)
            *complete = std::chrono::steady_clock::now();
        total += n;
        tail.append(chunk, n);
        if (tail.size() > 64)
            tail.erase(0, tail.size() - 64);
        if (tail.size() >= 7 && tail.compare(tail.size() - 7, 7, devsim_success_marker) == 0)
            return total - 7;
    }
}

void stream_through_serial(benchmark::State &state, unsigned bytes_per_second, unsigned long samples)
{
    devsim_options options;
    options.bytes_per_second = bytes_per_second;
    options.stream = [samples](const devsim_sampling_request &) { return devsim_stream_pulse_pattern(samples); };
    devsim *sim = devsim_start(options);
    if (sim == nullptr) {
        state.SkipWithError("no simulated device");
        return;
    }
    long bytes = 0;
    for (auto _ : state) {
        if (!serial_connect_and_configure_port(devsim_port_name(sim).c_str()) || !console_synch_with_device() ||
            !console_execute_command("u 0 0 0")) {
            state.SkipWithError("device did not answer");
            break;
        }
        char ack[4];
        console_read(ack, 4);
        auto start = std::chrono::steady_clock::now();
        auto complete = start;
        long got = read_stream(long(samples) * 2, &complete);
        state.SetIterationTime(std::chrono::duration<double>(complete - start).count());
        serial_disconnect_port();
        if (got < 0) {
            state.SkipWithError("stream broke off");
            break;
        }
        bytes += got;
    }
    state.SetBytesProcessed(bytes);
    devsim_stop(sim);
}

void BM_StreamAtLineRate(benchmark::State &state)
{
    stream_through_serial(state, devsim_line_rate, 46080);   // 1 s of line
}
BENCHMARK(BM_StreamAtLineRate)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_StreamFlatOut(benchmark::State &state)
{
    stream_through_serial(state, 0, 500000);
}
BENCHMARK(BM_StreamFlatOut)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// From serial_disconnect_port on one thread to the failed return of the read
// that another thread had waiting on a silent device.
void BM_CloseEndsAWaitingRead(benchmark::State &state)
{
    devsim_options options;
    options.send_prompt = false;
    devsim *sim = devsim_start(options);
    if (sim == nullptr) {
        state.SkipWithError("no simulated device");
        return;
    }
    for (auto _ : state) {
        if (!serial_connect_and_configure_port(devsim_port_name(sim).c_str())) {
            state.SkipWithError("cannot open");
            break;
        }
        std::atomic<bool> reading{false};
        std::chrono::steady_clock::time_point failed_at;
        std::thread reader([&] {
            char buffer[64];
            reading = true;
            while (serial_read(buffer, sizeof buffer, nullptr)) {
            }
            failed_at = std::chrono::steady_clock::now();
        });
        while (!reading)
            std::this_thread::yield();
        g_usleep(20 * 1000);   // well inside its read
        auto closed_at = std::chrono::steady_clock::now();
        serial_disconnect_port();
        reader.join();
        state.SetIterationTime(std::chrono::duration<double>(failed_at - closed_at).count());
    }
    devsim_stop(sim);
}
BENCHMARK(BM_CloseEndsAWaitingRead)->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);

}  // namespace
