// Tape health: synthesized tapes played fast and slow, with pulses scattered
// on purpose, measured live and per file as a capture measures them (the
// sample pass, with the tape index's records); and the real tapes.
#include "link/handoff.h"
#include "link/sample_pass.h"
#include "sampling_options.h"
#include "tape/tape_health.h"
#include "health_tapes.h"
#include "tape_demo.h"
#include "tape_synth.h"
#include "tape_tap.h"
#include "tape_testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

std::vector<tape_file_event> *files_seen;

gboolean keep_file(gpointer data)
{
    files_seen->push_back(*static_cast<tape_file_event *>(data));
    g_free(data);
    return FALSE;
}

gboolean drop(gpointer data)
{
    g_free(data);
    return FALSE;
}

void run_at_once(GSourceFunc callback, gpointer data)
{
    callback(data);
}

// The tape through a capture's sample pass, in the pieces 64-byte reads
// bring: the live figures at the end and each file's first record.
struct measured {
    tape_health_figures live;
    std::vector<tape_file_event> files;
};

measured measure(const std::vector<unsigned short> &samples, double clock_hz = health_pal_c64_hz)
{
    decoders_restart();
    handoff_set_poster(run_at_once);
    measured result;
    files_seen = &result.files;
    sample_pass pass;
    sample_pass_init(&pass, drop);
    sample_pass_measure_for(&pass, clock_hz, 0);
    sample_pass_list_files(&pass, keep_file);
    for (size_t at = 0; at < samples.size(); at += 32)
        sample_pass_take(&pass, samples.data() + at, unsigned(std::min<size_t>(32, samples.size() - at)));
    sample_pass_finish(&pass);
    tape_health_live(&pass.health, &result.live);
    std::erase_if(result.files, [](const tape_file_event &file) {
        return file.verdict != tape_verdict_reading && file.verdict != tape_verdict_not_checked;
    });
    return result;
}

void expect_figures(const tape_health_figures &figures, tape_loader format, const health_tape &made)
{
    EXPECT_GT(figures.pulses, 0u);
    EXPECT_EQ(figures.format, format);
    EXPECT_NEAR(figures.speed_percent, made.speed_percent, 0.3);
    EXPECT_NEAR(figures.spread_percent, made.spread_percent, 0.3);
}

const double speeds[] = {0.96, 1.00, 1.04};
const double jitters[] = {0, 1, 3};

TEST(TapeHealth, RomLoaderTapesGiveTheSpeedAndSpreadTheyWereMadeWithLiveAndPerFile)
{
    for (double speed : speeds)
        for (double jitter : jitters) {
            SCOPED_TRACE(testing::Message() << "speed " << speed << ", jitter " << jitter << " %");
            const health_tape made = health_rom_tape(speed, jitter);
            const measured got = measure(made.samples);
            expect_figures(got.live, tape_loader_rom, made);
            ASSERT_EQ(got.files.size(), 1u);
            expect_figures(got.files[0].health, tape_loader_rom, made);
        }
}

TEST(TapeHealth, TurboTape250TapesGiveTheSpeedAndSpreadTheyWereMadeWithLiveAndPerFile)
{
    for (double speed : speeds)
        for (double jitter : jitters) {
            SCOPED_TRACE(testing::Message() << "speed " << speed << ", jitter " << jitter << " %");
            const health_tape made = health_turbo_tape(false, speed, jitter);
            const measured got = measure(made.samples);
            expect_figures(got.live, tape_loader_tt250, made);
            ASSERT_EQ(got.files.size(), 1u);
            expect_figures(got.files[0].health, tape_loader_tt250, made);
        }
}

TEST(TapeHealth, TurricanLeadInsAreMeasuredAgainstTheirOwnZeroPulse)
{
    const health_tape made = health_turbo_tape(true, 0.97, 1);
    const measured got = measure(made.samples);
    expect_figures(got.live, tape_loader_turrican, made);
    ASSERT_EQ(got.files.size(), 1u);
    expect_figures(got.files[0].health, tape_loader_turrican, made);
}

// Every other loader's pilot, measured by its block reader, counts live as
// the lead-ins do, against the loader's own 0 pulse.
TEST(TapeHealth, EveryOtherLoadersPilotGivesItsFiguresLiveAndPerFile)
{
    for (unsigned loader = tape_loader_turrican + 1; loader < tape_loader_count; ++loader) {
        SCOPED_TRACE(testing::Message() << "loader " << loader);
        const health_tape made = health_loader_tape(tape_loader(loader), 0.97, 1);
        const measured got = measure(made.samples);
        expect_figures(got.live, tape_loader(loader), made);
        ASSERT_EQ(got.files.size(), 1u);
        expect_figures(got.files[0].health, tape_loader(loader), made);
    }
}

// Hitload's 0 pulses lie 8 % from the ROM loader's short pulse: a run of
// them in a file's data (here 300 zero bytes) is no ROM pilot.
TEST(TapeHealth, AHitloadFilesZeroBytesAreNoRomPilot)
{
    const health_tape made = health_loader_tape(tape_loader_hitload, 0.97, 1, true);
    const measured got = measure(made.samples);
    expect_figures(got.live, tape_loader_hitload, made);
}

TEST(TapeHealth, LiveFiguresFollowTheNewestPilotAndEachFileKeepsItsOwn)
{
    const health_tape fast = health_rom_tape(1.04, 1);
    const health_tape slow = health_rom_tape(0.96, 3);
    std::vector<unsigned short> both = fast.samples;
    both.insert(both.end(), slow.samples.begin(), slow.samples.end());
    const measured got = measure(both);
    expect_figures(got.live, tape_loader_rom, slow);
    ASSERT_EQ(got.files.size(), 2u);
    expect_figures(got.files[0].health, tape_loader_rom, fast);
    expect_figures(got.files[1].health, tape_loader_rom, slow);
}

TEST(TapeHealth, TheNominalPulseIsTheChosenMachineAndVideoStandards)
{
    // An NTSC machine's pilot, 3.7 % shorter than a PAL one's.
    const health_tape ntsc = health_rom_tape(1.0, 1, health_ntsc_c64_hz);
    EXPECT_NEAR(measure(ntsc.samples, health_ntsc_c64_hz).live.speed_percent, 0.0, 0.3);
    EXPECT_NEAR(measure(ntsc.samples, health_pal_c64_hz).live.speed_percent, 100 * (health_ntsc_c64_hz / health_pal_c64_hz - 1), 0.3);

    sampling_option_values both_edges{SAMPLING_MACHINE_C16, 0, 1, 0};
    sample_pass pass;
    sample_pass_init(&pass, nullptr);
    sample_pass_measure_for_options(&pass, &both_edges);
    sample_pass_take(&pass, ntsc.samples.data(), unsigned(ntsc.samples.size()));
    EXPECT_EQ(tape_health_news(&pass.health), 0u) << "half waves are not measured";
}

TEST(TapeHealth, NothingIsShownBeforeAPilotNorForPulsesThatOnlyLookLikeOne)
{
    // Turbo Tape 250 data of 0xFF bytes: one pulses in the ROM loader's
    // short window, 17 % short of its pilot.
    tape_synth synth;
    tape_synth_init(&synth, 0, 10, 3);
    for (int i = 0; i < 2000; ++i)
        tape_turbo_byte(&synth, tape_tt250, 0xFF);
    EXPECT_EQ(measure(synth.samples).live.pulses, 0u);

    std::mt19937 random(5);
    std::uniform_int_distribution<unsigned> length(40, 4000);
    std::vector<unsigned short> noise(200000);
    for (unsigned short &sample : noise)
        sample = static_cast<unsigned short>(length(random));
    EXPECT_EQ(measure(noise).live.pulses, 0u);
}

TEST(TapeHealth, TheGaugeTurnsYellowAndRedAsPulsesNearTheWindowEdges)
{
    auto colour = [](double speed, double jitter) {
        const tape_health_figures live = measure(health_rom_tape(speed, jitter).samples).live;
        return tape_health_colour_of(&live);
    };
    EXPECT_EQ(colour(1.0, 1), tape_health_green);
    EXPECT_EQ(colour(1.0, 3), tape_health_yellow);
    // Slow: long pulses near the top of their window.
    EXPECT_EQ(colour(0.96, 3), tape_health_red);
}

// The demo tape plays as a good drive plays it, but for its one worn file:
// the first two files green, the Turrican loader file yellow.
TEST(TapeHealth, TheDemoTapesFilesAreGreenButTheWornOne)
{
    const measured demo = measure(tape_demo_samples());
    ASSERT_EQ(demo.files.size(), 3u);
    std::vector<std::string> colours;
    for (const tape_file_event &file : demo.files) {
        ASSERT_GT(file.health.pulses, 0u) << tape_loader_text(file.loader);
        const char *names[] = {"green", "yellow", "red"};
        colours.push_back(names[tape_health_colour_of(&file.health)]);
    }
    EXPECT_EQ(colours, (std::vector<std::string>{"green", "green", "yellow"}));
}

TEST(TapeHealth, RealTapesWrittenAtTheNominalLengthsReadNearZero)
{
    // Every short pulse exactly 0x30 x 8 cycles.
    std::vector<unsigned short> samples;
    tape_tap_info info{};
    std::string error;
    ASSERT_TRUE(tape_tap_file_to_samples(ZR7K8_SOURCE_DIR "/tests/data/tapes/c64studio-sample1.tap", 0, &samples,
                                         &info, &error))
        << error;
    const measured got = measure(samples, info.clock_hz);
    ASSERT_EQ(got.files.size(), 1u);
    EXPECT_NEAR(got.files[0].health.speed_percent, 0.0, 0.1);
    EXPECT_NEAR(got.files[0].health.spread_percent, 0.0, 0.1);
}

}  // namespace
