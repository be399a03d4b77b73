// Encoder for the computer's built-in tape format: bytes and blocks in,
// pulses out, laid out as the machine's own save routine writes them.
//
// A byte is twenty pulses: a marker (long, medium), eight data bits least
// significant first as pulse pairs ((short, medium) = 0, (medium, short) = 1)
// and an odd-parity bit as a pair. A block copy is a pilot of short pulses, a
// countdown of nine bytes (0x89..0x81 in the first copy, 0x09..0x01 in the
// repeated copy), the payload, its XOR checksum and the end mark (long,
// short). A block is both copies, the repeated one after a short pilot, then
// a short trailer. Headers carry a 192-byte payload: type, start and end
// address (low byte first), the 16-byte name field, spaces. The counts,
// pilots and layout are rom_format.h's.
//
// The encoder writes pulse classes, not lengths: whoever receives them
// chooses the lengths (the machine's nominal ones for a clean image, others
// for a test tape) and may damage a copy on purpose through the hooks below.
// One encoder per stream; not thread-safe.
#pragma once

#include "tape/rom_format.h"

#include <array>
#include <cstddef>
#include <vector>

enum rom_pulse : unsigned char { rom_pulse_short, rom_pulse_medium, rom_pulse_long };

// The twenty pulses of one byte, in tape order. Any thread.
std::array<rom_pulse, rom_byte_pulses> rom_byte_pulse_classes(unsigned char byte);

// The 192-byte payload of a header block. Any thread.
std::vector<unsigned char> rom_header_payload(unsigned char type, unsigned start, unsigned end,
                                              const std::array<unsigned char, 16> &name);

class rom_encoder {
public:
    virtual ~rom_encoder() = default;

    // Where every pulse goes.
    virtual void pulse(rom_pulse pulse) = 0;

    // Called before each copy of a block with its countdown start
    // (rom_first_countdown or rom_repeated_countdown); false leaves the copy
    // out. The encoder writes every copy by default.
    virtual bool begin_copy(unsigned char countdown_first);

    // Writes one byte of a copy after the countdown: index is its place in
    // the payload, the payload's length for the checksum. False cuts the copy
    // here (the rest and the end mark are left out). The encoder writes every
    // byte whole by default.
    virtual bool payload_byte(size_t index, unsigned char value);

    void write_byte(unsigned char value);
    void pilot(unsigned pulses);
    void end_marker();

    // One copy: pilot, countdown from countdown_first, payload, checksum, end
    // mark (each part subject to the hooks above).
    void copy(unsigned pilot_pulses, unsigned char countdown_first, const unsigned char *payload, size_t length);

    // A whole block: the first copy after pilot_pulses, the repeated copy
    // after repeat_pilot, then trailer short pulses.
    void block(unsigned pilot_pulses, const unsigned char *payload, size_t length,
               unsigned repeat_pilot = rom_repeat_pilot, unsigned trailer = rom_trailer);
};
