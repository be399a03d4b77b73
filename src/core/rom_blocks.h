// Block reader for the computer's built-in tape format: pulses in, the bytes
// of every block copy out, damaged ones marked.
//
// On tape a block copy is a pilot of short pulses, then bytes of 20 pulses
// each: a marker (long, medium), eight data bits least significant first as
// pulse pairs ((short, medium) = 0, (medium, short) = 1) and an odd-parity bit
// as a pair. The end mark (long, short) closes the copy. A copy opens with a
// countdown of nine bytes, 0x89..0x81 in the first copy of a block and
// 0x09..0x01 in the repeated copy; the payload and its checksum follow, and
// only the caller knows how long the payload is. The reader reports payload
// bytes by their index (0 = the first byte after the countdown; the checksum
// is the byte after the last payload byte).
//
// Pulse classes are the name decoder's windows (rom_pulses.h) over the pulse
// byte; a sample of 2048 ticks or more is in no class, since its pulse byte
// would alias onto a short one.
//
// Damage: a byte with a wrong pair or a wrong parity is reported bad. After
// a broken pair or marker the reader waits for the next long pulse (the next
// marker) and counts the bytes in between by time: every byte lasts one long,
// ten medium and nine short pulses whatever its value, so the time since the
// last clean byte, divided by that byte's length, says where the new marker
// stands. A long pulse where none belongs is taken as the next marker, which
// also catches a lost pulse. A run of short pulses (a pilot) ends a copy
// whatever state the reader is in. A copy is recognised by its first clean
// countdown byte, whose value also says where in the countdown it stands, so
// a broken first marker costs nothing; a block that shows no countdown within
// its first nine bytes is not one of this format and is skipped.
//
// Constant work per sample, no allocation. One reader per stream; not
// thread-safe.
#pragma once

#include "rom_pulses.h"

#include <array>
#include <cstdint>

enum rom_block_event : uint8_t {
    rom_block_none,        // nothing to report for this pulse
    rom_block_copy_began,  // copy and copy_tick are set
    rom_block_byte,        // index, value and clean are set
    rom_block_bytes_lost,  // index and count: payload bytes that were not read at all
    rom_block_copy_ended,  // index (payload bytes and checksum reached) and end_mark are set
};

enum rom_block_copy : uint8_t {
    rom_first_copy = 1,    // countdown 0x89..0x81
    rom_repeated_copy = 2, // countdown 0x09..0x01
};

// Pulse classes as bits: pulse byte 113 is short and medium at once.
inline constexpr uint8_t rom_short_class = 1;
inline constexpr uint8_t rom_medium_class = 2;
inline constexpr uint8_t rom_long_class = 4;

inline constexpr std::array<uint8_t, 256> rom_pulse_classes = [] {
    std::array<uint8_t, 256> classes{};
    for (unsigned pulse = 0; pulse < 256; ++pulse) {
        const unsigned char byte = static_cast<unsigned char>(pulse);
        classes[pulse] = static_cast<uint8_t>((pulse_in_window(byte, rom_short_pulse) ? rom_short_class : 0) |
                                              (pulse_in_window(byte, rom_medium_pulse) ? rom_medium_class : 0) |
                                              (pulse_in_window(byte, rom_long_pulse) ? rom_long_class : 0));
    }
    return classes;
}();

// A pair's bit by the classes of its two pulses: 1 for (medium, short), 0 for
// (short, medium), rom_no_bit for anything else; the medium-first pair is
// tested first, as in the name decoder. A table: bit values are random, so
// tests would be branches the processor cannot foresee.
inline constexpr uint8_t rom_no_bit = 2;
inline constexpr std::array<uint8_t, 64> rom_bit_of_pair = [] {
    std::array<uint8_t, 64> bits{};
    for (unsigned first = 0; first < 8; ++first)
        for (unsigned second = 0; second < 8; ++second)
            bits[first * 8 + second] = (first & rom_medium_class) && (second & rom_short_class)   ? 1
                                       : (first & rom_short_class) && (second & rom_medium_class) ? 0
                                                                                                  : rom_no_bit;
    return bits;
}();

inline constexpr unsigned rom_data_bit_pulses = 16; // eight data bits, two pulses each

// Samples from here on alias onto small pulse bytes; they are in no class.
inline constexpr unsigned rom_first_aliasing_sample = 2048;

// Short pulses in a row that make a pilot. Inside a block at most two short
// pulses follow each other; the pilot before a repeated copy is about 79.
inline constexpr uint32_t rom_pilot_short_pulses = 32;

enum rom_block_reader_state : uint8_t {
    rom_reader_seeking,       // outside blocks: waiting for a pilot
    rom_reader_in_pilot,      // enough short pulses; a long one opens the first marker
    rom_reader_marker_second, // a marker's long pulse seen: medium opens a byte, short is the end mark
    rom_reader_bit_pairs,     // eight data bits and the parity bit, two pulses each
    rom_reader_next_marker,   // a byte is complete; a long pulse opens the next one
    rom_reader_hunting,       // after damage: waiting for a long pulse, the next marker
};

struct rom_block_reader {
    // The last event's details (valid until the next call).
    rom_block_copy copy;
    uint64_t copy_tick;     // tape position of the countdown's first byte (estimated if it was damaged)
    uint32_t index;         // payload index
    uint32_t count;
    unsigned char value;
    bool clean;             // pairs and parity right
    bool end_mark;          // the copy ended with its end mark (not cut by a pilot)

    // Reader state.
    rom_block_reader_state state;
    uint8_t pulse_in_byte;  // pulses of the bit pairs read so far, 0..17
    uint8_t first_of_pair;  // class of a pair's first pulse
    uint8_t bits;           // data bits read, least significant first
    uint8_t ones;           // parity of the bits read
    bool in_copy;           // a copy has been recognised and not yet ended
    uint32_t short_run;     // consecutive short pulses
    uint32_t byte_index;    // byte being read, counted from the countdown's first byte
    uint64_t byte_tick;     // where it began
    uint32_t anchor_index;  // the last clean byte (or the block's first marker)
    uint64_t anchor_tick;
    uint32_t byte_ticks;    // length of the last clean byte
};

// Prepares a reader for a new stream. Any thread.
void rom_block_reader_init(rom_block_reader *reader);

// Everything rom_block_reader_feed does not do itself.
rom_block_event rom_block_reader_step(rom_block_reader *reader, uint8_t pulse_class, unsigned short sample,
                                      uint64_t tick);

// Reads one pulse: sample is its length, tick its start on the tape (ticks
// since the stream began). Returns what it completed, details in *reader.
// Constant work, no allocation. Pulses outside blocks and the pulses of data
// bits, nearly all of a tape, are dealt with here, inline, since the sample
// pass calls this for every sample.
inline rom_block_event rom_block_reader_feed(rom_block_reader *r, unsigned short sample, uint64_t tick)
{
    // Longer samples all take pulse byte 255, which is in no class.
    const unsigned unaliased = sample < rom_first_aliasing_sample ? sample : rom_first_aliasing_sample - 1;
    const uint8_t pulse_class = rom_pulse_classes[unaliased >> 3];
    const uint32_t is_short = pulse_class & rom_short_class;
    r->short_run = (r->short_run + 1) & (0u - is_short); // no branch: shorts come at random inside bytes
    switch (r->state) {
    case rom_reader_seeking:
        if (r->short_run != rom_pilot_short_pulses)
            return rom_block_none;
        break;
    case rom_reader_in_pilot:
        if (is_short)
            return rom_block_none;
        break;
    case rom_reader_marker_second:
        if (pulse_class & rom_medium_class) {
            r->pulse_in_byte = 0;
            r->bits = 0;
            r->ones = 0;
            r->state = rom_reader_bit_pairs;
            return rom_block_none;
        }
        break;
    case rom_reader_bit_pairs:
        if (!(pulse_class & rom_long_class)) {
            const unsigned pulse = r->pulse_in_byte;
            if ((pulse & 1) == 0) {
                r->first_of_pair = pulse_class;
                r->pulse_in_byte = static_cast<uint8_t>(pulse + 1);
                return rom_block_none;
            }
            const unsigned bit = rom_bit_of_pair[r->first_of_pair * 8u + pulse_class];
            if (bit != rom_no_bit && pulse < rom_data_bit_pulses) {
                r->bits = static_cast<uint8_t>(r->bits | (bit << (pulse / 2)));
                r->ones = static_cast<uint8_t>(r->ones ^ bit);
                r->pulse_in_byte = static_cast<uint8_t>(pulse + 1);
                return rom_block_none;
            }
        }
        break;
    case rom_reader_next_marker:
        if (pulse_class & rom_long_class) {
            r->byte_tick = tick;
            r->state = rom_reader_marker_second;
            return rom_block_none;
        }
        break;
    case rom_reader_hunting:
        break;
    }
    return rom_block_reader_step(r, pulse_class, sample, tick);
}
