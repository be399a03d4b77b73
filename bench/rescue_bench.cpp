// A rescue of two takes of a 45-minute tape side: both takes read through the
// take reader (in pieces, as from a file) and combined. "x_tape_speed" says
// how many times faster than the tape plays it runs on one core.
#include "tape/tape_rescue.h"
#include "tape/tape_take.h"
#include "tape/tape_time.h"
#include "tape_demo.h"

#include <benchmark/benchmark.h>

namespace {

constexpr guint64 side_seconds = 45 * 60;
constexpr size_t piece = 32768;

// The demo tape (ROM loader, Turbo Tape 250 and Turrican files, pilots and
// silences) repeated over 45 minutes; the second take has a pulse broken
// every 50000 samples.
std::vector<unsigned short> take_of_side(bool worn)
{
    const std::vector<unsigned short> demo = tape_demo_samples();
    std::vector<unsigned short> tape;
    guint64 ticks = 0;
    while (ticks < side_seconds * tape_ticks_per_second) {
        for (unsigned short sample : demo)
            ticks += sample;
        tape.insert(tape.end(), demo.begin(), demo.end());
    }
    if (worn)
        for (size_t at = 25000; at < tape.size(); at += 50000)
            tape[at] = 100;
    return tape;
}

void BM_RescueTwoFortyFiveMinuteTakes(benchmark::State &state)
{
    const std::vector<unsigned short> takes[2] = {take_of_side(false), take_of_side(true)};
    size_t files = 0;
    for (auto _ : state) {
        std::vector<std::vector<tape_take_file>> read;
        for (const std::vector<unsigned short> &take : takes) {
            auto reader = tape_take_reader_new();
            for (size_t at = 0; at < take.size(); at += piece)
                tape_take_reader_feed(reader.get(), take.data() + at, std::min(piece, take.size() - at));
            read.push_back(tape_take_reader_finish(reader.get()));
        }
        const std::vector<tape_rescued_file> rescued = tape_rescue(read, nullptr);
        files = rescued.size();
        benchmark::DoNotOptimize(rescued.data());
    }
    state.counters["files"] = double(files);
    state.counters["x_tape_speed"] =
        benchmark::Counter(double(state.iterations()) * double(side_seconds), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RescueTwoFortyFiveMinuteTakes)->Unit(benchmark::kMillisecond);

}  // namespace
