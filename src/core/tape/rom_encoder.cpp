// Encoder for the computer's built-in tape format (see rom_encoder.h).
#include "tape/rom_encoder.h"

#include "tape/block_checksum.h"

#include <algorithm>

namespace {

constexpr unsigned char payload_padding = 0x20;

void put_le16(std::vector<unsigned char> &payload, unsigned at, unsigned value)
{
    payload[at] = static_cast<unsigned char>(value & 0xFF);
    payload[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

}  // namespace

std::array<rom_pulse, rom_byte_pulses> rom_byte_pulse_classes(unsigned char byte)
{
    std::array<rom_pulse, rom_byte_pulses> pulses;
    pulses[0] = rom_pulse_long;
    pulses[1] = rom_pulse_medium;
    unsigned check = 1; // odd parity over the eight bits and the check bit
    for (unsigned bit = 0; bit < 9; ++bit) {
        const unsigned value = bit < 8 ? (byte >> bit) & 1u : check;
        check ^= value;
        pulses[2 + 2 * bit] = value ? rom_pulse_medium : rom_pulse_short;
        pulses[3 + 2 * bit] = value ? rom_pulse_short : rom_pulse_medium;
    }
    return pulses;
}

std::vector<unsigned char> rom_header_payload(unsigned char type, unsigned start, unsigned end,
                                              const std::array<unsigned char, 16> &name)
{
    std::vector<unsigned char> payload(rom_header_payload_bytes, payload_padding);
    payload[rom_header_type_byte] = type;
    put_le16(payload, rom_header_start_byte, start);
    put_le16(payload, rom_header_end_byte, end);
    std::copy(name.begin(), name.end(), payload.begin() + rom_header_name_byte);
    return payload;
}

bool rom_encoder::begin_copy(unsigned char)
{
    return true;
}

bool rom_encoder::payload_byte(size_t, unsigned char value)
{
    write_byte(value);
    return true;
}

void rom_encoder::write_byte(unsigned char value)
{
    for (rom_pulse each : rom_byte_pulse_classes(value))
        pulse(each);
}

void rom_encoder::pilot(unsigned pulses)
{
    for (unsigned i = 0; i < pulses; ++i)
        pulse(rom_pulse_short);
}

void rom_encoder::end_marker()
{
    pulse(rom_pulse_long);
    pulse(rom_pulse_short);
}

void rom_encoder::copy(unsigned pilot_pulses, unsigned char countdown_first, const unsigned char *payload,
                       size_t length)
{
    if (!begin_copy(countdown_first))
        return;
    pilot(pilot_pulses);
    for (unsigned i = 0; i < rom_countdown_bytes; ++i)
        write_byte(static_cast<unsigned char>(countdown_first - i));
    for (size_t i = 0; i <= length; ++i)
        if (!payload_byte(i, i < length ? payload[i] : tape_block_checksum(payload, length)))
            return;
    end_marker();
}

void rom_encoder::block(unsigned pilot_pulses, const unsigned char *payload, size_t length, unsigned repeat_pilot,
                        unsigned trailer)
{
    copy(pilot_pulses, rom_first_countdown, payload, length);
    copy(repeat_pilot, rom_repeated_countdown, payload, length);
    pilot(trailer);
}
