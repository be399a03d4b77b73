// The verdict on one block of the computer's built-in tape format, built
// from its two copies as they stream past.
//
// Every block is on tape twice. The machine's loader takes the first copy,
// notes the bytes it could not read (at most 30), and mends exactly those
// from the repeated copy. So a block is
// - good: its first copy read clean, every payload byte and the checksum
//   (the XOR of the payload) with right pairs and parity, and the checksum
//   right; the repeated copy does not matter then;
// - repaired: its first copy has 1 to 30 bad or missing bytes, each of them
//   read clean in the repeated copy, and the mended payload's XOR equals the
//   mended checksum;
// - bad: anything else: more bad bytes, a byte bad in both copies, no first
//   copy, no repeated copy where one was needed, a wrong checksum.
// The countdown is not judged: the block reader needs only one clean
// countdown byte to place a copy.
//
// A verdict is given as soon as it cannot change: at the end of the first copy
// when that copy is clean or beyond mending, else when the repeated copy has
// brought its checksum byte or ended, else when the block is closed.
//
// Where the caller sets payload after rom_block_check_begin, every payload
// byte known for sure (read clean in the first copy, or mended) is stored
// there, so a good or repaired block's payload is whole.
//
// The first 21 payload bytes (a header's type, addresses and name) are kept
// as far as they are known, mended like the rest, so a header can be read
// even from a damaged first copy. Fixed size; no allocation.
#pragma once

#include "tape/rom_blocks.h"
#include "tape/tape_verdict.h"

#include <cstdint>

inline constexpr unsigned rom_block_head_bytes = 21;
inline constexpr unsigned rom_block_mendable_bytes = 30;

struct rom_block_check {
    uint32_t length;           // payload bytes; the checksum is the byte at index length
    uint64_t tick;             // where the block's first copy (or the repeated one, if no first) began
    tape_verdict verdict;      // reading until given
    uint8_t copy_open;         // 0, or the rom_block_copy being read
    bool first_seen;
    bool repeated_seen;
    bool zero_after_type;      // a 0 among payload bytes 1 and up (a data file's last block)
    uint32_t next;             // payload index the open copy should bring next
    unsigned char head[rom_block_head_bytes];
    uint32_t head_known;       // bit i: head[i] known
    unsigned char sum;         // XOR of the payload bytes known
    unsigned char checksum;
    bool checksum_known;
    bool too_many;             // more bad bytes in the first copy than can be mended
    bool unmendable;           // a bad byte of the first copy was not clean in the repeated copy
    uint8_t bad_count;
    uint8_t mended;            // bad positions the repeated copy has passed
    uint16_t bad[rom_block_mendable_bytes]; // bad payload indexes of the first copy, ascending
    unsigned char *payload;    // nullptr, or length bytes that receive each payload byte known for sure
};

// Starts a block with the copy that has just begun at tick.
void rom_block_check_begin(rom_block_check *check, uint32_t length, rom_block_copy copy, uint64_t tick);

// The block's repeated copy has begun.
void rom_block_check_repeat(rom_block_check *check);

// A byte of the open copy; bytes past the checksum are ignored.
void rom_block_check_byte(rom_block_check *check, uint32_t index, unsigned char value, bool clean);

// Bytes of the open copy that were not read at all.
void rom_block_check_lost(rom_block_check *check, uint32_t index, uint32_t count);

// The open copy has ended (its bytes past next are missing).
void rom_block_check_copy_end(rom_block_check *check);

// Nothing more will come for this block: a verdict still open becomes bad,
// even if a copy being read had all its bytes (its end was never seen).
void rom_block_check_close(rom_block_check *check);

// 1 when the head byte at index is known.
inline bool rom_block_check_knows(const rom_block_check *check, unsigned index)
{
    return (check->head_known >> index) & 1u;
}

// 1 when all head bytes are known.
bool rom_block_check_head_complete(const rom_block_check *check);
