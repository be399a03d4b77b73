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
// Pulse classes, pilot and countdown are rom_format.h's; a sample of 2048
// ticks or more is in no class, since its pulse byte would alias onto a
// short one (pulse_window.h).
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
// Pulses are read a run at a time: the progress through an undamaged byte
// then stays in registers, so a pulse costs little more than a table look-up.
// Constant work per pulse, no allocation. One reader per stream; not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

enum rom_block_event : uint8_t {
    rom_block_none,        // nothing to report for this pulse
    rom_block_copy_began,  // copy, copy_tick and pilot_tick are set
    rom_block_byte,        // index, value, clean and end_tick are set
    rom_block_bytes_lost,  // index and count: payload bytes that were not read at all
    rom_block_copy_ended,  // index (payload bytes and checksum reached) and end_mark are set
};

enum rom_block_copy : uint8_t {
    rom_first_copy = 1,    // countdown 0x89..0x81
    rom_repeated_copy = 2, // countdown 0x09..0x01
};

struct rom_block_reader {
    // The event's details, valid while it is taken.
    rom_block_copy copy;
    uint64_t copy_tick;     // tape position of the countdown's first byte (estimated if it was damaged)
    uint64_t pilot_tick;    // where the run of short pulses before the copy began
    uint64_t end_tick;      // where the pulse after the byte's last one begins
    uint32_t index;         // payload index
    uint32_t count;
    unsigned char value;
    bool clean;             // pairs and parity right
    bool end_mark;          // the copy ended with its end mark (not cut by a pilot)

    // Reader state (rom_blocks.cpp).
    uint8_t state;
    uint8_t pulse_in_byte;  // pulses of the bit pairs read so far, 0..17
    uint8_t first_of_pair;  // class of a pair's first pulse
    uint8_t bits;           // data bits read, least significant first
    uint8_t ones;           // parity of the bits read
    bool in_copy;           // a copy has been recognised and not yet ended
    uint32_t short_run;     // consecutive short pulses
    uint64_t run_tick;      // where they began
    uint32_t byte_index;    // byte being read, counted from the countdown's first byte
    uint64_t byte_tick;     // where it began
    uint32_t anchor_index;  // the last clean byte (or the block's first marker)
    uint64_t anchor_tick;
    uint32_t byte_ticks;    // length of the last clean byte
};

// Receives an event; its details are in the reader during the call.
using rom_block_take = void (*)(void *context, rom_block_event event);

// Prepares a reader for a new stream. Any thread.
void rom_block_reader_init(rom_block_reader *reader);

// Reads count pulses (samples, their lengths in ticks) of which the first
// begins at tick on the tape (ticks since the stream began); calls take for
// each event, in tape order. Returns where the pulse after the last begins.
uint64_t rom_block_reader_read(rom_block_reader *reader, const unsigned short *samples, size_t count, uint64_t tick,
                               rom_block_take take, void *context);
