// Block reader for Turbo Tape 250: pulses in, the bytes of every block out,
// each marked clean or not.
//
// One bit per pulse, most significant bit first, with no byte markers, by
// the windows of tt250_format (turbo_format.h); any sample of 2048 ticks or
// more, whose pulse byte would alias into a window, is in no window. A block
// is a lead-in, which gives the byte alignment, the sync train down to 0x01,
// an identifier byte, then the payload, whose length only the caller knows.
//
// Outside a block the reader shifts bits in (a pulse in no window counts as a
// 0) until the register holds 0x02, then counts lead-in bytes; a pulse in no
// window there, or a wrong sync byte, sends it back to the search. Inside a
// payload every pulse is one bit whatever its length, so a byte with a pulse
// in no window is reported with clean false and the bytes after it keep
// their places. The payload goes on until the caller ends the block
// (tt250_block_reader_end_block), usually from its callback.
//
// Constant work per pulse, no allocation. One reader per stream; not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

enum tt250_block_event : uint8_t {
    tt250_block_began, // identifier, lead_in_bytes and block_tick are set
    tt250_block_byte,  // index, value and clean are set
};

struct tt250_block_reader {
    // The event's details, valid while it is taken.
    unsigned char identifier; // the byte after the sync train
    uint32_t lead_in_bytes;   // 0x02 bytes before the sync train, the one that aligned the reader included
    uint64_t lead_tick;       // where the lead-in byte after the aligning one begins
    uint64_t block_tick;      // where the sync train's first pulse begins
    uint32_t index;           // payload byte, 0 = the first after the identifier
    unsigned char value;
    bool clean;               // all eight pulses in a window
    uint64_t end_tick;        // where the pulse after the event's last one begins

    // Reader state (tt250_blocks.cpp).
    uint8_t state;
    uint8_t bit_count;
    unsigned char byte;       // shift register, new bits enter at bit 0
    bool byte_clean;
    unsigned char sync_next;  // the sync byte due next
    uint64_t byte_tick;       // where the byte being read began
};

// Receives an event; its details are in the reader during the call.
using tt250_block_take = void (*)(void *context, tt250_block_event event);

// Prepares a reader for a new stream. Any thread.
void tt250_block_reader_init(tt250_block_reader *reader);

// Reads count samples (pulse lengths in ticks) of which the first begins at
// tick; calls take for each event, in tape order. Returns where the sample
// after the last begins.
uint64_t tt250_block_reader_read(tt250_block_reader *reader, const unsigned short *samples, size_t count,
                                 uint64_t tick, tt250_block_take take, void *context);

// The block is complete, or not wanted: the reader looks for the next
// lead-in from the next pulse on. Safe to call from take.
void tt250_block_reader_end_block(tt250_block_reader *reader);
