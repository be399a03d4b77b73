// Name decoder for Turrican loader headers.
//
// The Turbo Tape 250 machine (tt250.h) with its own constants: a pulse byte of
// 68..94 is a 1, 42..67 a 0; the sync train is 0x0C..0x01, so the identifier
// is byte 13 after the lead-in and the name bytes 19..34. Its state is one
// file-local instance for the whole program, separate from Turbo Tape 250's.
#pragma once

#include "tape/turbo.h"

#include <cstddef>

// The format's constants, also for the tape health measure's windows.
inline constexpr turbo_format turrican_format{
    .one_pulse = {68, 27},    // 68..94, centre 81; tested first, so 68 is a 1
    .zero_pulse = {42, 27},   // 42..68, in effect 42..67
    .lead_in_byte = 0x02,
    .lead_in_bytes_min = 959,
    .sync_bytes = 12,         // 0x0C..0x01; identifier at byte 13, name at bytes 19..34
};

// Its pulses as the saving program writes them, in cycles of the machine's
// clock (TAP units of 8 cycles: 0x1B and 0x27).
inline constexpr unsigned turrican_zero_cycles = 0x1B * 8;
inline constexpr unsigned turrican_one_cycles = 0x27 * 8;

// Same contract as rom_loader_find_name (rom.h): returns 1 exactly when this
// call completed a name in name[0..15], else 0; restart nonzero starts a new
// search from this pulse's bit and returns 0. Constant work, no allocation,
// never blocks; only the capture worker calls it.
int turrican_loader_find_name(unsigned char pulse, unsigned char *name, int restart);

// Same contract as rom_loader_scan (rom.h).
std::size_t turrican_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name);
