// The TAP writer: how fast it turns samples into an image, and how long a
// dump of a 60-minute tape waits at its end for its image.
//
// The device sends at most 46080 samples per second; "x_line_rate" says how
// many times faster than that the writer runs on one core.
#include "tape/tap_writer.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "test_pty.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr double tap_line_rate_samples_per_second = 46080;


void BM_TapWriterSamples(benchmark::State &state)
{
    const std::vector<unsigned short> tape = tape_demo_samples_lasting(60);
    const sampling_option_values options{};
    int sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
    auto *writer = new tap_writer;
    for (auto _ : state) {
        tap_writer_start(writer, sink, &options);
        for (unsigned short sample : tape)
            tap_writer_add_sample(writer, sample);
        benchmark::DoNotOptimize(writer->data_length);
    }
    delete writer;
    close(sink);
    const double samples = double(state.iterations()) * double(tape.size());
    state.SetItemsProcessed(int64_t(samples));
    state.counters["x_line_rate"] = benchmark::Counter(samples / tap_line_rate_samples_per_second,
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TapWriterSamples)->Unit(benchmark::kMillisecond);

// What a 60-minute dump adds at its end: the whole DMP file read, converted,
// synced to the disk and renamed, in the system's temporary folder.
void BM_ConvertSixtyMinuteDump(benchmark::State &state)
{
    test_folder folder;
    const std::string dmp = folder.path() + "/sixty.DMP";
    const std::string tap = folder.path() + "/sixty.tap";
    const std::vector<unsigned short> tape = tape_demo_samples_lasting(60 * 60);
    std::string error;
    if (!dmp_write_file(dmp.c_str(), tape, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const sampling_option_values options{};
    for (auto _ : state) {
        GError *failure = nullptr;
        if (!tap_write_file_from_dmp(dmp.c_str(), tap.c_str(), 1, &options, nullptr, &failure)) {
            state.SkipWithError(failure->message);
            g_error_free(failure);
            return;
        }
    }
    state.counters["dmp_MB"] = double(tape.size()) * 2 / 1e6;
    state.SetItemsProcessed(int64_t(double(state.iterations()) * double(tape.size())));
}
BENCHMARK(BM_ConvertSixtyMinuteDump)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
