// Name decoder for Turrican loader headers.
//
// The Turbo Tape 250 machine (tt250.h) with its own constants: a pulse byte of
// 68..94 is a 1, 42..67 a 0; the sync train is 0x0C..0x01, so the identifier
// is byte 13 after the lead-in and the name bytes 19..34. Its state is one
// file-local instance for the whole program, separate from Turbo Tape 250's.
#pragma once

#include <cstddef>

// Same contract as rom_loader_find_name (rom.h): returns 1 exactly when this
// call completed a name in name[0..15], else 0; restart nonzero starts a new
// search from this pulse's bit and returns 0. Constant work, no allocation,
// never blocks; only the capture worker calls it.
int turrican_loader_find_name(unsigned char pulse, unsigned char *name, int restart);

// Same contract as rom_loader_scan (rom.h).
std::size_t turrican_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name);
