// The pilot search of several pilot-byte block readers (pilot_blocks.h) of
// one stream, done once for all of them.
//
// Outside a block each reader shifts one bit per pulse into an 8-bit
// register until it holds the reader's pilot byte; nearly every pulse of a
// tape is spent there, by every reader. Here each reader has a lane, one
// byte of a 64-bit word, that shifts the same bits (a pulse in no class as
// a 0) for every reader at once, and each sample of a batch gets a mask of
// the lanes that hold their pilot byte after it. A reader whose register
// equals its lane (once it has shifted eight pulses since its last reset,
// and from then on) finds its next pilot byte by looking up that mask
// instead of shifting. A least-significant-bit-first reader's lane holds its
// register mirrored, so every lane shifts the same way.
//
// Per sample one table look-up and a few word operations for all lanes; no
// allocation (the struct is about 11 KiB). One per stream; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

struct pilot_block_reader;

inline constexpr unsigned pilot_lanes_max = 8;
// Samples a batch may hold; a longer read is taken in batches, each read
// by every reader in turn.
inline constexpr unsigned pilot_lanes_batch = 512;

struct pilot_lanes {
    // The readers' classes: by pulse byte (256: a sample of 2048 ticks or
    // more), 0x01 in the lane of each reader that takes the pulse as a 1.
    uint64_t ones[257];
    // By pulse byte likewise, bit n set where lane n's reader takes the
    // pulse as a 0 or a 1.
    unsigned char in_class[257];
    uint64_t pilots;      // each lane's pilot byte as its lane holds it; a lane unused never matches
    uint64_t registers;   // every lane after the last sample taken
    // The batch taken last.
    const unsigned short *samples;
    size_t count;
    uint64_t tick;        // where its first sample begins
    uint64_t before;      // every lane before its first sample
    uint64_t after[pilot_lanes_batch];      // every lane after sample j
    uint64_t tick_after[pilot_lanes_batch]; // where the sample after sample j begins
    // Lanes that hold their pilot byte after sample j (bit n: lane n) and
    // whose reader takes each of the batch's next two samples, as far as the
    // batch holds them, as a 0 or a 1 (a pilot byte that a pulse in no class
    // follows ends before its next byte is read: it is no pilot), then zeros
    // up to a multiple of 8 past count.
    unsigned char pilot_at[pilot_lanes_batch + 8];
    unsigned char class_at[pilot_lanes_batch + 2]; // in_class of sample j; past count, every lane
};

// Prepares for a new stream with no lane in use. Any thread.
void pilot_lanes_init(pilot_lanes *lanes);

// Gives lane (below pilot_lanes_max) to a reader, whose classes and format
// are read now (pilot_block_reader_init first).
void pilot_lanes_add(pilot_lanes *lanes, unsigned lane, const pilot_block_reader *reader);

// Takes the next count samples (at most pilot_lanes_batch) of the stream, of
// which the first begins at tick; the samples must stay readable while the
// readers read the batch (pilot_block_reader_read).
void pilot_lanes_take(pilot_lanes *lanes, const unsigned short *samples, size_t count, uint64_t tick);

// A register as its lane holds it, and a lane's byte as the register (the
// mirror is its own inverse).
inline unsigned pilot_lane_of_register(unsigned byte, bool lsb_first)
{
    if (!lsb_first)
        return byte;
    byte = ((byte & 0xF0u) >> 4) | ((byte & 0x0Fu) << 4);
    byte = ((byte & 0xCCu) >> 2) | ((byte & 0x33u) << 2);
    return ((byte & 0xAAu) >> 1) | ((byte & 0x55u) << 1);
}
