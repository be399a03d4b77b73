// Name decoder for Turbo Tape 250 headers.
//
// Watches the pulse stream for a lead-in of at least 959 bytes 0x02, the sync
// train 0x09..0x01, a header identifier of 1 or 2, five bytes not examined and
// the 16-byte file name. One bit per pulse, most significant bit first: a
// pulse byte of 67..95 is a 1, 39..66 a 0, anything else invalid. Its state is
// one file-local instance for the whole program, kept across captures.
#pragma once

#include "tape/turbo.h"

#include <cstddef>

// The format's constants, also for the tape health measure's windows.
inline constexpr turbo_format tt250_format{
    .one_pulse = {67, 29},    // 67..95, centre 81; tested first, so 67 is a 1
    .zero_pulse = {39, 29},   // 39..67, in effect 39..66
    .lead_in_byte = 0x02,
    .lead_in_bytes_min = 959, // the byte found by the alignment search included
    .sync_bytes = 9,          // 0x09..0x01; identifier at byte 10, name at bytes 16..31
};

// Its pulses as the saving program writes them, in cycles of the machine's
// clock (TAP units of 8 cycles: 0x1A and 0x28).
inline constexpr unsigned tt250_zero_cycles = 0x1A * 8;
inline constexpr unsigned tt250_one_cycles = 0x28 * 8;

// Same contract as rom_loader_find_name (rom.h): returns 1 exactly when this
// call completed a name in name[0..15], else 0; restart nonzero starts a new
// search from this pulse's bit and returns 0. Constant work, no allocation,
// never blocks; only the capture worker calls it.
int tt250_loader_find_name(unsigned char pulse, unsigned char *name, int restart);

// Same contract as rom_loader_scan (rom.h).
std::size_t tt250_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name);
