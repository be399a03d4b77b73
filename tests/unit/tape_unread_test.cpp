// Unread stretches: what of a tape no format read, seen through the sample
// pass as the front ends see it.
#include "link/handoff.h"
#include "link/sample_pass.h"
#include "tape/tape_time.h"
#include "tape/tape_unread.h"
#include "tape_synth.h"
#include "tape_testing.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>

namespace {

// What the pass hands over, in order: "file N verdict" or "unread".
std::vector<std::string> handed_over;
std::vector<tape_unread_stretch> stretches;

gboolean keep_record(gpointer data)
{
    const auto *record = static_cast<tape_file_event *>(data);
    handed_over.push_back("file " + std::to_string(record->sequence) + " " + tape_verdict_text(record->verdict));
    g_free(data);
    return FALSE;
}

gboolean keep_stretch(gpointer data)
{
    handed_over.emplace_back("unread");
    stretches.push_back(*static_cast<tape_unread_stretch *>(data));
    g_free(data);
    return FALSE;
}

uint64_t ticks_of(const std::vector<unsigned short> &samples)
{
    return std::accumulate(samples.begin(), samples.end(), uint64_t{0});
}

void pause(tape_synth *synth, unsigned seconds)
{
    for (unsigned i = 0; i < seconds * 31; ++i)
        tape_synth_gap(synth, 65535);
}

// A leader's crackle: a pulse of a usable length now and then, between
// long ones.
void sparse_noise(tape_synth *synth, uint64_t ticks)
{
    for (uint64_t at = 0; at < ticks; at += 800 + 9000) {
        tape_synth_pulse(synth, 800);
        tape_synth_sample(synth, 9000);
    }
}

const unsigned char program[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};

struct passed_tape {
    uint64_t read_ticks;
};

passed_tape pass_tape(const std::vector<unsigned short> &samples)
{
    handed_over.clear();
    stretches.clear();
    handoff_set_poster([](GSourceFunc callback, gpointer data) { callback(data); });
    decoders_restart();
    auto pass = std::make_unique<sample_pass>();
    sample_pass_init(pass.get(), nullptr);
    sample_pass_list_files(pass.get(), keep_record);
    sample_pass_list_unread(pass.get(), keep_stretch);
    // In reads of a USB packet's size, as a capture takes them.
    for (size_t at = 0; at < samples.size(); at += 32)
        sample_pass_take(pass.get(), samples.data() + at, unsigned(std::min<size_t>(32, samples.size() - at)));
    sample_pass_finish(pass.get());
    handoff_set_poster(nullptr);
    return {sample_pass_read_ticks(pass.get())};
}

// A ROM program, three seconds of another loader's data, a leader's noise,
// a Turbo Tape 250 file: only the other loader's data is unread, reported
// where it begins, before the file that follows it is listed; pauses, noise,
// pilots and lead-ins are not; the files' stretches are what was read.
TEST(TapeUnread, DataOfAFormatNotReadIsOneStretchBetweenTheFilesRead)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, 20, 7);
    pause(&synth, 1);
    const size_t rom_from = synth.samples.size();
    tape_rom_program(&synth, tape_name_field("FIRST"), 0x0801, program, sizeof program);
    const uint64_t rom_ticks = ticks_of({synth.samples.begin() + long(rom_from), synth.samples.end()});
    pause(&synth, 2);
    const uint64_t foreign_at = ticks_of(synth.samples);
    tape_foreign_pulses(&synth, 3 * tape_ticks_per_second);
    const uint64_t foreign_ticks = ticks_of(synth.samples) - foreign_at;
    pause(&synth, 2);
    sparse_noise(&synth, 3 * tape_ticks_per_second);
    pause(&synth, 1);
    const size_t turbo_from = synth.samples.size();
    tape_turbo_header(&synth, tape_tt250, tape_turbo_lead_in, tape_turbo_header_id, 0x0801,
                      0x0801 + sizeof program, tape_name_field("SECOND"));
    tape_synth_gap(&synth, 65535);
    tape_turbo_data(&synth, tape_tt250, tape_turbo_lead_in, program, sizeof program);
    const uint64_t turbo_ticks = ticks_of({synth.samples.begin() + long(turbo_from), synth.samples.end()});
    pause(&synth, 1);

    const passed_tape passed = pass_tape(synth.samples);
    EXPECT_EQ(handed_over, (std::vector<std::string>{"file 1 reading...", "file 1 good", "unread",
                                                     "file 2 reading...", "file 2 good"}));
    ASSERT_EQ(stretches.size(), 1u);
    // Within a tenth of a second, the detector's window.
    EXPECT_NEAR(double(stretches[0].tick), double(foreign_at), double(tape_unread_window_ticks));
    EXPECT_NEAR(double(stretches[0].ticks), double(foreign_ticks), double(tape_unread_window_ticks));
    // Pilot to trailer: a few pulses of a trailer or a lead-in's first byte apart.
    EXPECT_NEAR(double(passed.read_ticks), double(rom_ticks + turbo_ticks), 0.05 * tape_ticks_per_second);
}

// A second of another loader's data right before a file's pilot, and the
// same data running on into the file: the pilot belongs to the file, and a
// second or less unread is not reported.
TEST(TapeUnread, APilotIsTheFilesAndASecondOrLessIsNotReported)
{
    for (const uint64_t foreign : {2 * tape_ticks_per_second, tape_ticks_per_second - tape_unread_window_ticks}) {
        tape_synth synth;
        tape_synth_init(&synth, 0, 20, 9);
        pause(&synth, 1);
        const uint64_t foreign_at = ticks_of(synth.samples);
        tape_foreign_pulses(&synth, foreign);
        tape_rom_program(&synth, tape_name_field("FIRST"), 0x0801, program, sizeof program);
        pause(&synth, 1);
        pass_tape(synth.samples);
        if (foreign < tape_unread_min_ticks) {
            EXPECT_TRUE(stretches.empty());
            continue;
        }
        ASSERT_EQ(stretches.size(), 1u);
        EXPECT_NEAR(double(stretches[0].tick), double(foreign_at), double(tape_unread_window_ticks));
        EXPECT_NEAR(double(stretches[0].ticks), double(foreign), double(tape_unread_window_ticks));
        EXPECT_EQ(handed_over.front(), "unread") << "the stretch comes before the file after it";
    }
}

}  // namespace
