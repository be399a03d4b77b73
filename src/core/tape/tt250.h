// Name decoder for Turbo Tape 250 headers.
//
// Watches the pulse stream for a lead-in of at least 959 bytes 0x02, the sync
// train 0x09..0x01, a header identifier of 1 or 2, five bytes not examined and
// the 16-byte file name. One bit per pulse, most significant bit first: a
// pulse byte of 67..95 is a 1, 39..66 a 0, anything else invalid. Its state is
// one file-local instance for the whole program, kept across captures.
#pragma once

#include <cstddef>

// Same contract as rom_loader_find_name (rom.h): returns 1 exactly when this
// call completed a name in name[0..15], else 0; restart nonzero starts a new
// search from this pulse's bit and returns 0. Constant work, no allocation,
// never blocks; only the capture worker calls it.
int tt250_loader_find_name(unsigned char pulse, unsigned char *name, int restart);

// Same contract as rom_loader_scan (rom.h).
std::size_t tt250_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name);
