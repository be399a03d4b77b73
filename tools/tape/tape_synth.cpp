#include "tape_synth.h"

#include <algorithm>
#include <utility>

namespace {

constexpr unsigned longest_sample = 65535;
constexpr size_t header_payload_bytes = 192;
constexpr unsigned char padding_space = 0x20;

// xorshift32: small, deterministic, and good enough to scatter pulses.
uint32_t next_random(tape_synth *synth)
{
    uint32_t x = synth->random_state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    synth->random_state = x;
    return x;
}

int jitter(tape_synth *synth)
{
    if (synth->jitter_ticks <= 0)
        return 0;
    const uint32_t span = 2u * static_cast<uint32_t>(synth->jitter_ticks) + 1u;
    return static_cast<int>(next_random(synth) % span) - synth->jitter_ticks;
}

void push_le16(std::vector<unsigned char> &payload, unsigned value)
{
    payload.push_back(static_cast<unsigned char>(value & 0xFF));
    payload.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

unsigned char xor_of(const unsigned char *data, size_t length)
{
    unsigned char sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum ^= data[i];
    return sum;
}

}  // namespace

const tape_turbo_format tape_tt250{424, 652, 0x09, 16};
const tape_turbo_format tape_turrican{440, 652, 0x0C, 32};

void tape_synth_init(tape_synth *synth, int offset_ticks, int jitter_ticks, uint32_t seed)
{
    synth->samples.clear();
    synth->offset_ticks = offset_ticks;
    synth->jitter_ticks = jitter_ticks;
    synth->random_state = seed != 0 ? seed : 1; // xorshift never leaves 0
}

void tape_synth_pulse(tape_synth *synth, unsigned ticks)
{
    const long moved = static_cast<long>(ticks) + synth->offset_ticks + jitter(synth);
    synth->samples.push_back(static_cast<unsigned short>(std::clamp<long>(moved, 1, longest_sample)));
}

void tape_synth_sample(tape_synth *synth, unsigned short sample)
{
    synth->samples.push_back(sample);
}

void tape_synth_gap(tape_synth *synth, unsigned ticks)
{
    synth->samples.push_back(static_cast<unsigned short>(std::min(ticks, longest_sample)));
}

std::array<unsigned char, 16> tape_name_field(const char *text, unsigned char pad)
{
    std::array<unsigned char, 16> field;
    field.fill(pad);
    for (size_t i = 0; i < field.size() && text[i] != 0; ++i)
        field[i] = static_cast<unsigned char>(text[i]);
    return field;
}

// ---- ROM loader -------------------------------------------------------------

void tape_rom_pilot(tape_synth *synth, unsigned pulses)
{
    for (unsigned i = 0; i < pulses; ++i)
        tape_synth_pulse(synth, tape_rom_short_ticks);
}

void tape_rom_byte(tape_synth *synth, unsigned char byte, tape_rom_fault fault)
{
    std::array<unsigned, 20> pulses;
    pulses[0] = fault == tape_rom_broken_marker ? tape_rom_medium_ticks : tape_rom_long_ticks;
    pulses[1] = tape_rom_medium_ticks;
    unsigned check = 1; // odd parity over the eight bits and the check bit
    for (unsigned bit = 0; bit < 9; ++bit) {
        const unsigned value = bit < 8 ? (byte >> bit) & 1u : check;
        check ^= value;
        pulses[2 + 2 * bit] = value ? tape_rom_medium_ticks : tape_rom_short_ticks;
        pulses[3 + 2 * bit] = value ? tape_rom_short_ticks : tape_rom_medium_ticks;
    }
    if (fault == tape_rom_broken_pair)
        pulses[2] = pulses[3] = tape_rom_short_ticks;
    if (fault == tape_rom_flipped_bit)
        std::swap(pulses[2], pulses[3]);
    for (size_t i = 0; i < pulses.size(); ++i)
        if (fault != tape_rom_lost_pulse || i != 6)
            tape_synth_pulse(synth, pulses[i]);
}

void tape_rom_end_marker(tape_synth *synth)
{
    tape_synth_pulse(synth, tape_rom_long_ticks);
    tape_synth_pulse(synth, tape_rom_short_ticks);
}

void tape_rom_copy(tape_synth *synth, unsigned pilot, unsigned char countdown_first,
                   const unsigned char *payload, size_t length, const tape_rom_copy_damage &damage)
{
    if (damage.missing)
        return;
    tape_rom_pilot(synth, pilot);
    for (unsigned i = 0; i < 9; ++i)
        tape_rom_byte(synth, static_cast<unsigned char>(countdown_first - i));
    for (size_t i = 0; i <= length; ++i) {
        if (i == damage.bytes)
            return;
        tape_rom_fault fault = tape_rom_intact;
        for (const tape_rom_byte_damage &at : damage.faults)
            if (at.byte == i)
                fault = at.fault;
        tape_rom_byte(synth, i < length ? payload[i] : xor_of(payload, length), fault);
    }
    tape_rom_end_marker(synth);
}

void tape_rom_block(tape_synth *synth, unsigned pilot, const unsigned char *payload, size_t length,
                    const tape_rom_block_damage &damage)
{
    tape_rom_copy(synth, pilot, tape_rom_first_copy, payload, length, damage.first);
    tape_rom_copy(synth, tape_rom_repeat_pilot, tape_rom_repeated_copy, payload, length, damage.repeated);
    tape_rom_pilot(synth, tape_rom_trailer);
}

std::vector<unsigned char> tape_rom_header_payload(unsigned char type, unsigned start, unsigned end,
                                                   const std::array<unsigned char, 16> &name)
{
    std::vector<unsigned char> payload;
    payload.push_back(type);
    push_le16(payload, start);
    push_le16(payload, end);
    payload.insert(payload.end(), name.begin(), name.end());
    payload.resize(header_payload_bytes, padding_space);
    return payload;
}

void tape_rom_header(tape_synth *synth, unsigned pilot, unsigned char type, unsigned start,
                     unsigned end, const std::array<unsigned char, 16> &name)
{
    const std::vector<unsigned char> payload = tape_rom_header_payload(type, start, end, name);
    tape_rom_block(synth, pilot, payload.data(), payload.size());
}

void tape_rom_program(tape_synth *synth, const std::array<unsigned char, 16> &name, unsigned start,
                      const unsigned char *data, size_t length, const tape_rom_block_damage &header_damage,
                      const tape_rom_block_damage &data_damage)
{
    const std::vector<unsigned char> header =
        tape_rom_header_payload(1, start, static_cast<unsigned>(start + length), name);
    tape_rom_block(synth, tape_rom_header_pilot, header.data(), header.size(), header_damage);
    tape_synth_gap(synth, longest_sample);
    tape_rom_block(synth, tape_rom_data_pilot, data, length, data_damage);
}

// ---- Turbo Tape 250 and the Turrican loader ---------------------------------

void tape_turbo_byte(tape_synth *synth, const tape_turbo_format &format, unsigned char byte)
{
    for (int bit = 7; bit >= 0; --bit)
        tape_synth_pulse(synth, (byte >> bit) & 1u ? format.one_ticks : format.zero_ticks);
}

void tape_turbo_lead_in_and_sync(tape_synth *synth, const tape_turbo_format &format, unsigned bytes)
{
    for (unsigned i = 0; i < bytes; ++i)
        tape_turbo_byte(synth, format, tape_turbo_lead_in_byte);
    for (unsigned char sync = format.sync_first; sync >= 1; --sync)
        tape_turbo_byte(synth, format, sync);
}

void tape_turbo_header(tape_synth *synth, const tape_turbo_format &format, unsigned lead_in,
                       unsigned char id, unsigned start, unsigned end,
                       const std::array<unsigned char, 16> &name)
{
    std::vector<unsigned char> payload;
    push_le16(payload, start);
    push_le16(payload, end);
    payload.push_back(0); // spare
    payload.insert(payload.end(), name.begin(), name.end());
    payload.resize(payload.size() + format.header_name_field - name.size(), padding_space);
    payload.resize(header_payload_bytes, padding_space);

    tape_turbo_lead_in_and_sync(synth, format, lead_in);
    tape_turbo_byte(synth, format, id);
    for (unsigned char byte : payload)
        tape_turbo_byte(synth, format, byte);
}

void tape_turbo_data(tape_synth *synth, const tape_turbo_format &format, unsigned lead_in,
                     const unsigned char *data, size_t length)
{
    tape_turbo_lead_in_and_sync(synth, format, lead_in);
    tape_turbo_byte(synth, format, tape_turbo_data_id);
    for (size_t i = 0; i < length; ++i)
        tape_turbo_byte(synth, format, data[i]);
    tape_turbo_byte(synth, format, xor_of(data, length));
}
