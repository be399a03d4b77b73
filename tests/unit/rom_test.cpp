// The ROM loader decoder, fed pulse bytes of synthesized header blocks.
#include "tape/rom.h"
#include "tape/rom_format.h"
#include "tape_synth.h"
#include "tape_testing.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr unsigned char short_pulse = pulse_window_centre(rom_short_pulse);
constexpr unsigned char medium_pulse = pulse_window_centre(rom_medium_pulse);
constexpr size_t pulses_per_byte = rom_byte_pulses;
constexpr size_t name_byte_in_block = rom_countdown_bytes + 1 + rom_header_name_byte; // first name byte, counted from 1

const std::array<unsigned char, 16> game = tape_name_field("GAME");

// The first copy of a header (countdown 0x89..0x81) after a pilot of `pilot`
// short pulses, as pulse bytes.
std::vector<unsigned char> header_copy(unsigned pilot, unsigned char countdown = tape_rom_first_copy,
                                       unsigned char type = 1,
                                       const std::array<unsigned char, 16> &name = game)
{
    tape_synth synth;
    tape_synth_init(&synth);
    const std::vector<unsigned char> payload = tape_rom_header_payload(type, 0x0801, 0x0900, name);
    tape_rom_copy(&synth, pilot, countdown, payload.data(), payload.size());
    return pulse_bytes(synth.samples);
}

// Index of the pulse that opens the marker of block byte `byte` (from 1).
size_t marker_of(unsigned pilot, size_t byte)
{
    return pilot + (byte - 1) * pulses_per_byte;
}

// Index of the first pulse of data bit `bit` of block byte `byte`.
size_t bit_of(unsigned pilot, size_t byte, unsigned bit)
{
    return marker_of(pilot, byte) + 2 + 2 * bit;
}

std::vector<decoded_name> decode(const std::vector<unsigned char> &pulses)
{
    return run_decoder(rom_loader_find_name, pulses);
}

TEST(RomDecoder, SynthesizedHeaderGivesItsNameOnTheMarkerAfterTheLastNameByte)
{
    const auto found = decode(header_copy(6000));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].raw, game);
    EXPECT_EQ(found[0].at, marker_of(6000, name_byte_in_block + 16));
}

TEST(RomDecoder, PilotOf5000ShortPulsesOpensNoBlockAnd5001Do)
{
    EXPECT_TRUE(decode(header_copy(5000)).empty());
    EXPECT_EQ(decode(header_copy(5001)).size(), 1u);
}

TEST(RomDecoder, RestartPulseCountsAsTheFirstPilotPulse)
{
    const std::vector<unsigned char> rest = header_copy(5000);
    unsigned char name[17] = {};

    rom_loader_find_name(short_pulse, name, 1);
    int found = 0;
    for (unsigned char pulse : rest)
        found += rom_loader_find_name(pulse, name, 0);
    EXPECT_EQ(found, 1) << "restart on a short pulse plus 5000 shorts is a pilot of 5001";

    rom_loader_find_name(medium_pulse, name, 1);
    found = 0;
    for (unsigned char pulse : rest)
        found += rom_loader_find_name(pulse, name, 0);
    EXPECT_EQ(found, 0) << "a restart on a medium pulse counts nothing";
}

TEST(RomDecoder, RestartReturnsZeroAndAbandonsAHeader)
{
    std::vector<unsigned char> pulses = header_copy(6000);
    unsigned char name[17] = {};
    const size_t middle = bit_of(6000, name_byte_in_block + 3, 0);
    rom_loader_find_name(0, name, 1);
    int found = 0;
    for (size_t at = 0; at < pulses.size(); ++at) {
        const int result = rom_loader_find_name(pulses[at], name, at == middle);
        if (at == middle) {
            EXPECT_EQ(result, 0);
        }
        found += result;
    }
    EXPECT_EQ(found, 0);
}

// Each window's edges, put in place of a short pilot pulse, the long pulse
// of the first marker, or the medium pulse of the first marker.
TEST(RomDecoder, PulseClassEdges)
{
    const unsigned pilot = 5001;
    auto with_pilot_of = [&](unsigned char value) {
        std::vector<unsigned char> pulses = header_copy(pilot);
        for (size_t i = 0; i < pilot; ++i)
            pulses[i] = value;
        return decode(pulses).size();
    };
    EXPECT_EQ(with_pilot_of(75), 1u);
    EXPECT_EQ(with_pilot_of(113), 1u);
    EXPECT_EQ(with_pilot_of(74), 0u);
    EXPECT_EQ(with_pilot_of(114), 0u);

    auto with_first_marker = [&](size_t half, unsigned char value) {
        std::vector<unsigned char> pulses = header_copy(pilot);
        pulses[marker_of(pilot, 1) + half] = value;
        return decode(pulses).size();
    };
    EXPECT_EQ(with_first_marker(0, 153), 1u);
    EXPECT_EQ(with_first_marker(0, 191), 1u);
    EXPECT_EQ(with_first_marker(0, 152), 0u) << "152 is not long";
    EXPECT_EQ(with_first_marker(0, 192), 0u);
    EXPECT_EQ(with_first_marker(1, 113), 1u);
    EXPECT_EQ(with_first_marker(1, 151), 1u);
    EXPECT_EQ(with_first_marker(1, 152), 0u) << "152 is not medium";
    EXPECT_EQ(with_first_marker(1, 112), 0u);
}

TEST(RomDecoder, PulseOf152EndsAPilot)
{
    std::vector<unsigned char> pulses = header_copy(0);
    std::vector<unsigned char> pilot(6000, short_pulse);
    pilot.push_back(152);
    pulses.insert(pulses.begin(), pilot.begin(), pilot.end());
    EXPECT_TRUE(decode(pulses).empty());
}

// The first name byte is 'G' (0x47), bit 0 set. Its first bit pair is
// replaced; a pair starting with 113 reads by the test order.
TEST(RomDecoder, PairsStartingWith113ReadByTestOrder)
{
    const unsigned pilot = 6000;
    auto first_name_byte_with_pair = [&](unsigned char first, unsigned char second) {
        std::vector<unsigned char> pulses = header_copy(pilot);
        const size_t at = bit_of(pilot, name_byte_in_block, 0);
        pulses[at] = first;
        pulses[at + 1] = second;
        const auto found = decode(pulses);
        return found.size() == 1 ? int{found[0].raw[0]} : -1;
    };
    EXPECT_EQ(first_name_byte_with_pair(113, 100), 0x47) << "(113, 100) reads 1";
    EXPECT_EQ(first_name_byte_with_pair(113, 140), 0x46) << "(113, 140) reads 0";
    EXPECT_EQ(first_name_byte_with_pair(113, 113), 0x47) << "medium-then-short is tested first";
    EXPECT_EQ(first_name_byte_with_pair(100, 100), -1) << "(short, short) aborts the byte";
    EXPECT_EQ(first_name_byte_with_pair(140, 140), -1) << "(medium, medium) aborts the byte";
}

TEST(RomDecoder, HeaderTypes1And3AreAcceptedOthersRefused)
{
    EXPECT_EQ(decode(header_copy(6000, tape_rom_first_copy, 1)).size(), 1u);
    EXPECT_EQ(decode(header_copy(6000, tape_rom_first_copy, 3)).size(), 1u);
    for (unsigned char type : {0, 2, 4, 5, 0x81})
        EXPECT_TRUE(decode(header_copy(6000, tape_rom_first_copy, type)).empty()) << "type " << int{type};
}

TEST(RomDecoder, RepeatedCopyNeverMatchesEvenAfterALongPilot)
{
    EXPECT_TRUE(decode(header_copy(27136, tape_rom_repeated_copy)).empty());
}

TEST(RomDecoder, EveryCountdownByteIsChecked)
{
    for (size_t byte = 1; byte <= 9; ++byte) {
        std::vector<unsigned char> pulses = header_copy(6000);
        // Flip bit 0 of the countdown byte: swap the pulses of its first pair.
        std::swap(pulses[bit_of(6000, byte, 0)], pulses[bit_of(6000, byte, 0) + 1]);
        EXPECT_TRUE(decode(pulses).empty()) << "countdown byte " << byte;
    }
}

TEST(RomDecoder, AddressBytesAndCheckBitsAreNotExamined)
{
    std::vector<unsigned char> pulses = header_copy(6000);
    for (size_t byte = 1; byte <= name_byte_in_block + 16; ++byte) {
        const size_t check = marker_of(6000, byte) + 18;
        pulses[check] = 0;
        pulses[check + 1] = 255;
    }
    for (size_t byte = 11; byte <= 14; ++byte)
        std::swap(pulses[bit_of(6000, byte, 3)], pulses[bit_of(6000, byte, 3) + 1]);
    const auto found = decode(pulses);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].raw, game);
}

TEST(RomDecoder, NameKeepsItsPaddingAndAnyByte)
{
    const auto name = raw_name("\x93\x05GYRO\xa0\xa0\x00\x01\xff  RUN");
    const auto found = decode(header_copy(6000, tape_rom_first_copy, 3, name));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].raw, name);
}

TEST(RomDecoder, NonLongPulseWhereAMarkerOpensAbandonsTheHeader)
{
    std::vector<unsigned char> pulses = header_copy(6000);
    pulses[marker_of(6000, name_byte_in_block + 16)] = medium_pulse;
    EXPECT_TRUE(decode(pulses).empty());
}

TEST(RomDecoder, BufferIsWrittenOnlyWhenANameIsComplete)
{
    std::vector<unsigned char> pulses = header_copy(6000);
    pulses[marker_of(6000, name_byte_in_block + 16)] = medium_pulse;
    unsigned char name[17];
    std::memset(name, 'X', sizeof name);
    rom_loader_find_name(0, name, 1);
    for (unsigned char pulse : pulses)
        ASSERT_EQ(rom_loader_find_name(pulse, name, 0), 0);
    for (unsigned char byte : name)
        EXPECT_EQ(byte, 'X');
}

}  // namespace
