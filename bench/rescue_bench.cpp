// A rescue of two takes of a 45-minute tape side: both takes read through the
// take reader (in pieces, as from a file) and combined; and the clean TAP
// image of such a take, from the DMP file on disk to the image and its
// index. "x_tape_speed" says how many times faster than the tape plays it
// runs on one core.
#include "tape/clean_tap.h"
#include "tape/tape_rescue.h"
#include "tape/tape_take.h"
#include "tape/tape_time.h"
#include "tape_demo.h"
#include "tape_file.h"

#include <benchmark/benchmark.h>

#include <glib/gstdio.h>

#include <string>

namespace {

constexpr guint64 side_seconds = 45 * 60;
constexpr size_t piece = 32768;

// The demo tape (ROM loader, Turbo Tape 250 and Turrican files, pilots and
// silences) repeated over 45 minutes; the second take has a pulse broken
// every 50000 samples.
std::vector<unsigned short> take_of_side(bool worn)
{
    std::vector<unsigned short> tape = tape_demo_samples_lasting(side_seconds);
    if (worn)
        for (size_t at = 25000; at < tape.size(); at += 50000)
            tape[at] = 100;
    return tape;
}

std::vector<tape_take_file> read_take(const std::vector<unsigned short> &take)
{
    auto reader = tape_take_reader_new();
    for (size_t at = 0; at < take.size(); at += piece)
        tape_take_reader_feed(reader.get(), take.data() + at, std::min(piece, take.size() - at));
    return tape_take_reader_finish(reader.get());
}

void BM_RescueTwoFortyFiveMinuteTakes(benchmark::State &state)
{
    const std::vector<unsigned short> takes[2] = {take_of_side(false), take_of_side(true)};
    size_t files = 0;
    for (auto _ : state) {
        const std::vector<std::vector<tape_take_file>> read = {read_take(takes[0]), read_take(takes[1])};
        const std::vector<tape_rescued_file> rescued = tape_rescue(read, nullptr);
        files = rescued.size();
        benchmark::DoNotOptimize(rescued.data());
    }
    state.counters["files"] = double(files);
    state.counters["x_tape_speed"] =
        benchmark::Counter(double(state.iterations()) * double(side_seconds), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RescueTwoFortyFiveMinuteTakes)->Unit(benchmark::kMillisecond);

void BM_CleanImageOfAFortyFiveMinuteTake(benchmark::State &state)
{
    gchar *folder = g_dir_make_tmp("zr7k8-bench-XXXXXX", nullptr);
    const std::string take_path = std::string(folder) + "/take.dmp", image_path = std::string(folder) + "/clean.tap";
    const std::vector<unsigned short> take = take_of_side(true);
    std::string error;
    if (!dmp_write_file(take_path.c_str(), take, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::vector<std::vector<tape_take_file>> takes = {read_take(take)};
    const std::vector<tape_rescued_file> files = tape_rescue(takes, nullptr);
    const sampling_option_values options{};
    clean_tap_result result{};
    for (auto _ : state) {
        if (!clean_tap_write(take_path.c_str(), takes, files, &options, image_path.c_str(), 1, &result, nullptr)) {
            state.SkipWithError("the image was not written");
            break;
        }
    }
    state.counters["files_rebuilt"] = double(result.files_rebuilt);
    state.counters["x_tape_speed"] =
        benchmark::Counter(double(state.iterations()) * double(side_seconds), benchmark::Counter::kIsRate);
    for (const std::string &path : {take_path, image_path, std::string(folder) + "/clean.idx"})
        g_unlink(path.c_str());
    g_rmdir(folder);
    g_free(folder);
}
BENCHMARK(BM_CleanImageOfAFortyFiveMinuteTake)->Unit(benchmark::kMillisecond);

}  // namespace
