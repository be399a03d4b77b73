// The decoder part of the capture worker's sample pass over a long tape.
//
// The device sends at most 46080 samples per second; the decoders must keep
// far ahead of that on one core. "x_line_rate" says how many times faster
// than the line rate the pass runs.
#include "tape/name_finder.h"
#include "tape/rom.h"
#include "tape_demo.h"
#include "tape_testing.h"
#include "tape/tt250.h"
#include "tape/turrican.h"

#include <benchmark/benchmark.h>

namespace {

constexpr double finder_line_rate_samples_per_second = 46080;

// The demo tape eight times over: about half a million samples of all three
// formats, pilots, data blocks and silences.
const std::vector<unsigned short> &finder_long_tape()
{
    static const std::vector<unsigned short> tape = [] {
        const std::vector<unsigned short> demo = tape_demo_samples();
        std::vector<unsigned short> repeated;
        for (int i = 0; i < 8; ++i)
            repeated.insert(repeated.end(), demo.begin(), demo.end());
        return repeated;
    }();
    return tape;
}

void report(benchmark::State &state, size_t samples_per_iteration)
{
    const double samples = static_cast<double>(state.iterations()) * static_cast<double>(samples_per_iteration);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    state.counters["x_line_rate"] =
        benchmark::Counter(samples / finder_line_rate_samples_per_second, benchmark::Counter::kIsRate);
}

void BM_NameFinderSamplePass(benchmark::State &state)
{
    const std::vector<unsigned short> &tape = finder_long_tape();
    decoders_restart();
    name_finder finder;
    name_finder_init(&finder);
    int names = 0;
    for (auto _ : state) {
        for (unsigned short sample : tape)
            names += name_finder_feed(&finder, sample);
        benchmark::DoNotOptimize(names);
    }
    report(state, tape.size());
}
BENCHMARK(BM_NameFinderSamplePass);

void decoder_alone(benchmark::State &state, decoder_function decoder)
{
    const std::vector<unsigned char> pulses = pulse_bytes(finder_long_tape());
    unsigned char name[17] = {};
    int restart = 0;
    for (auto _ : state) {
        for (unsigned char pulse : pulses)
            restart = decoder(pulse, name, restart);
        benchmark::DoNotOptimize(restart);
    }
    report(state, pulses.size());
}

void BM_RomDecoder(benchmark::State &state) { decoder_alone(state, rom_loader_find_name); }
void BM_Tt250Decoder(benchmark::State &state) { decoder_alone(state, tt250_loader_find_name); }
void BM_TurricanDecoder(benchmark::State &state) { decoder_alone(state, turrican_loader_find_name); }
BENCHMARK(BM_RomDecoder);
BENCHMARK(BM_Tt250Decoder);
BENCHMARK(BM_TurricanDecoder);

}  // namespace
