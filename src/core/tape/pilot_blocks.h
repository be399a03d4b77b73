// Block reader for the pilot-byte family (pilot_format.h): pulses in, the
// bytes of every block out, each marked clean or not.
//
// One bit per pulse, in the row's bit order, with no byte markers: a pulse in
// the row's 1 class is a 1, in its 0 class a 0, anything else (and any sample
// of 2048 ticks or more, whose pulse byte would alias into a class) is in no
// class. A block is a pilot of the row's pilot byte, which gives the byte
// alignment, the sync train, for formats with identified blocks an
// identifier byte, then the payload, whose length only the caller knows.
//
// Outside a block the reader shifts bits in (a pulse in no class counts as a
// 0) until the register holds the pilot byte, then counts pilot bytes; a
// pulse in no class there, or a wrong sync byte, sends it back to the search.
// Inside a payload every pulse is one bit whatever its length, so a byte with
// a pulse in no class is reported with clean false and the bytes after it
// keep their places. The payload goes on until the caller ends the block
// (pilot_block_reader_end_block), usually from its callback.
//
// Constant work per pulse, less while searching (the search is shared with
// the stream's other readers, pilot_lanes.h), no allocation. One reader per
// stream; not thread-safe.
#pragma once

#include "tape/pilot_format.h"
#include "tape/pilot_lanes.h"

#include <cstddef>
#include <cstdint>

// Pulses of one class in a pilot, for the tape health measure: how many,
// their sum and their sum of squares in ticks.
struct pilot_pulse_sums {
    uint64_t pulses;
    uint64_t ticks;
    uint64_t squares;
};

inline void pilot_pulse_sums_add(pilot_pulse_sums *sums, unsigned short sample)
{
    ++sums->pulses;
    sums->ticks += sample;
    sums->squares += uint64_t{sample} * sample;
}

enum pilot_block_event : uint8_t {
    pilot_block_began, // identifier, lead_in_bytes, lead_tick, block_tick and pilot_sums are set
    pilot_block_byte,  // index, value and clean are set
};

struct pilot_block_reader {
    // The event's details, valid while it is taken.
    unsigned char identifier; // the byte after the sync train (0 for formats without one)
    uint32_t lead_in_bytes;   // pilot bytes before the sync train, the one that aligned the reader included
    uint64_t lead_tick;       // where the pilot byte after the aligning one begins
    uint64_t block_tick;      // where the sync train's first pulse begins
    pilot_pulse_sums pilot_sums; // the pilot's 0 pulses after the aligning byte
    uint32_t index;           // payload byte, 0 = the first after the sync train or identifier
    unsigned char value;
    bool clean;               // all eight pulses in a class
    uint64_t end_tick;        // where the pulse after the event's last one begins

    // Reader state (pilot_blocks.cpp).
    const pilot_format *format;
    uint8_t state;
    uint8_t bit_count;
    unsigned char byte;       // shift register
    bool byte_clean;
    unsigned char sync_next;  // the sync byte due next
    unsigned char sync_left;  // sync bytes still due
    uint64_t byte_tick;       // where the byte being read began
    uint8_t bit_of_pulse[256]; // the row's classes by pulse byte: 0, 1, or 2 for none
};

// Receives an event; its details are in the reader during the call.
using pilot_block_take = void (*)(void *context, pilot_block_event event);

// Prepares a reader of format's blocks (the row must outlive the reader) for
// a new stream. Any thread.
void pilot_block_reader_init(pilot_block_reader *reader, const pilot_format *format);

// Reads the batch the lanes took last (pilot_lanes_take), searching for
// pilots through the reader's lane (pilot_lanes_add); calls take for each
// event, in tape order. Returns where the sample after the batch begins.
uint64_t pilot_block_reader_read(pilot_block_reader *reader, const pilot_lanes *lanes, unsigned lane,
                                 pilot_block_take take, void *context);

// The block is complete, or not wanted: the reader looks for the next pilot
// from the next pulse on. Safe to call from take.
void pilot_block_reader_end_block(pilot_block_reader *reader);
