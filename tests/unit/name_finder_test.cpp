// The capture worker's decoder pass: pulse bytes from samples, the order of
// the decoders, the terminator and the restart flag.
#include "tape/name_finder.h"
#include "tape_demo.h"
#include "tape_synth.h"
#include "tape_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned short> rom_header_samples(unsigned pilot, const char *name)
{
    tape_synth synth;
    tape_synth_init(&synth);
    const auto payload = tape_rom_header_payload(1, 0x0801, 0x0900, tape_name_field(name));
    tape_rom_copy(&synth, pilot, tape_rom_first_copy, payload.data(), payload.size());
    return synth.samples;
}

TEST(NameFinder, SampleOf2800TicksIsAShortPulse)
{
    // 2800 / 8 = 350, whose low 8 bits are 94: the centre of the short window.
    std::vector<unsigned short> samples = rom_header_samples(6000, "ALIASED");
    for (size_t i = 0; i < 6000; ++i)
        samples[i] = 2800;
    const auto found = run_name_finder(samples);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].shown, "ALIASED");
}

TEST(NameFinder, PulseByteUsesBitsThreeToTenOfTheSample)
{
    // 16384 + 756 ticks: sample / 8 is 2142, whose low 8 bits are 94.
    std::vector<unsigned short> samples = rom_header_samples(6000, "HIGH BITS");
    for (size_t i = 0; i < 6000; ++i)
        samples[i] = 16384 + 756;
    EXPECT_EQ(run_name_finder(samples).size(), 1u);

    // 7 ticks short of the short window: sample / 8 is 74.
    for (size_t i = 0; i < 6000; ++i)
        samples[i] = 599;
    EXPECT_TRUE(run_name_finder(samples).empty());
}

TEST(NameFinder, FoundNameIsTerminatedAndRestartFollowsForOnePulse)
{
    const std::vector<unsigned short> samples = rom_header_samples(6000, "GAME");
    decoders_restart();
    name_finder finder;
    name_finder_init(&finder);
    std::memset(finder.name, 'X', sizeof finder.name);
    size_t found_at = 0;
    int names = 0;
    for (size_t at = 0; at < samples.size(); ++at) {
        const int found = name_finder_feed(&finder, samples[at]);
        EXPECT_EQ(finder.restart, found) << "at sample " << at;
        if (found) {
            ++names;
            found_at = at;
            EXPECT_EQ(std::memcmp(finder.name, "GAME            ", 17), 0);
        }
    }
    ASSERT_EQ(names, 1);
    ASSERT_LT(found_at + 1, samples.size());
}

// A Turbo Tape 250 name completed by a short ROM pulse: the next pulse
// restarts the ROM decoder's pilot count at 1, so the ROM header that follows
// needs 5001 short pulses after the one that completed the name.
TEST(NameFinder, PulseAfterANameRestartsTheOtherDecoders)
{
    auto names_with_shorts_after_tt250_name = [](unsigned shorts) {
        tape_synth synth;
        tape_synth_init(&synth);
        tape_turbo_header(&synth, tape_tt250, 1000, 1, 0x0801, 0x0900, tape_name_field("TURBO1"));
        // Cut the header after the last bit of its last name byte ('1' is
        // odd, so that bit is a 1 pulse, which the ROM decoder counts as short).
        synth.samples.resize(1000 * 8 + turbo_pulses_to_name_end(tt250_format));
        tape_rom_pilot(&synth, shorts);
        const auto payload = tape_rom_header_payload(1, 0x0801, 0x0900, tape_name_field("ROM"));
        tape_rom_copy(&synth, 0, tape_rom_first_copy, payload.data(), payload.size());
        std::vector<std::string> shown;
        for (const decoded_name &found : run_name_finder(synth.samples))
            shown.push_back(found.shown);
        return shown;
    };
    EXPECT_EQ(names_with_shorts_after_tt250_name(5001), std::vector<std::string>{"TURBO1"});
    EXPECT_EQ(names_with_shorts_after_tt250_name(5002), (std::vector<std::string>{"TURBO1", "ROM"}));
}

// The capture's pass scans whole reads; it must find exactly what the decoders
// find pulse by pulse, wherever a read ends: names of all three formats, a
// name whose next pulse restarts the others, a pilot of just enough pulses, a
// header over a read's edge.
TEST(NameFinder, ScanningInPiecesFindsWhatPulseByPulseFinds)
{
    tape_synth synth;
    tape_synth_init(&synth);
    tape_turbo_header(&synth, tape_tt250, 1000, 1, 0x0801, 0x0900, tape_name_field("TURBO1"));
    // A ROM pilot right after the name's last bit, one pulse too short once
    // the restart has taken that bit away: the ROM header must not be found.
    synth.samples.resize(1000 * 8 + turbo_pulses_to_name_end(tt250_format));
    tape_rom_pilot(&synth, 5001);
    const auto payload = tape_rom_header_payload(1, 0x0801, 0x0900, tape_name_field("LOST"));
    tape_rom_copy(&synth, 0, tape_rom_first_copy, payload.data(), payload.size());
    tape_turbo_header(&synth, tape_turrican, 1000, 1, 0x0801, 0x0900, tape_name_field("TURRICAN"));
    // A pilot just long enough, after a pulse of no class.
    synth.samples.push_back(4000);
    tape_rom_pilot(&synth, 5001);
    const auto edge = tape_rom_header_payload(1, 0x0801, 0x0900, tape_name_field("EDGE"));
    tape_rom_copy(&synth, 0, tape_rom_first_copy, edge.data(), edge.size());
    std::vector<unsigned short> tape = synth.samples;
    const std::vector<unsigned short> demo = tape_demo_samples();
    tape.insert(tape.end(), demo.begin(), demo.end());

    struct name_at {
        size_t at;
        tape_loader loader;
        std::string raw;
        bool operator==(const name_at &) const = default;
    };
    auto run = [&](size_t piece) -> std::vector<name_at> {
        decoders_restart();
        name_finder finder;
        name_finder_init(&finder);
        std::vector<name_at> found;
        for (size_t at = 0; at < tape.size();) {
            const size_t length = piece ? std::min(piece, tape.size() - at) : 1;
            int completed = 0;
            const size_t taken = piece ? name_finder_scan(&finder, tape.data() + at, length, &completed)
                                       : (completed = name_finder_feed(&finder, tape[at]), 1);
            if (taken == 0) {
                ADD_FAILURE() << "a scan took no sample";
                break;
            }
            at += taken;
            if (completed)
                found.push_back({at - 1, finder.loader, reinterpret_cast<const char *>(finder.name)});
        }
        return found;
    };
    const std::vector<name_at> pulse_by_pulse = run(0);
    ASSERT_EQ(pulse_by_pulse.size(), 6u);  // the three above and the demo tape's three
    for (size_t piece : {size_t(1), size_t(2), size_t(7), size_t(32), size_t(33), size_t(1000), tape.size()})
        EXPECT_EQ(run(piece), pulse_by_pulse) << "in pieces of " << piece;
}

TEST(NameFinder, NewCaptureContinuesTheDecodersState)
{
    // A capture ended in the middle of the name; the next one's first pulses
    // continue it, as the decoders' state is not per capture, and the whole
    // name reaches the new capture's buffer.
    const std::vector<unsigned short> samples = rom_header_samples(6000, "TWO PARTS");
    decoders_restart();
    name_finder first;
    name_finder_init_for_captures(&first);
    const size_t split = 6000 + 20 * 17;
    for (size_t at = 0; at < split; ++at)
        ASSERT_EQ(name_finder_feed(&first, samples[at]), 0);

    name_finder second;
    name_finder_init_for_captures(&second);
    int names = 0;
    for (size_t at = split; at < samples.size(); ++at)
        names += name_finder_feed(&second, samples[at]);
    EXPECT_EQ(names, 1);
    EXPECT_STREQ(reinterpret_cast<const char *>(second.name), "TWO PARTS       ");
}

TEST(NameFinder, InitClearsRestartAndName)
{
    name_finder finder;
    std::memset(&finder, 0x55, sizeof finder);
    name_finder_init(&finder);
    EXPECT_EQ(finder.restart, 0);
    for (unsigned char byte : finder.name)
        EXPECT_EQ(byte, 0);
}

}  // namespace
