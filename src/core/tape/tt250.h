// Name decoder for Turbo Tape 250 headers: the turbo machine (turbo.h) with
// the format's row, tt250_format (turbo_format.h).
//
// Watches the pulse stream for a long enough lead-in, the sync train, a
// header identifier and the file name; bytes between identifier and name are
// not examined. Its state is one file-local instance for the whole program,
// kept across captures.
#pragma once

#include "tape/turbo.h"

#include <cstddef>

// Same contract as rom_loader_find_name (rom.h): returns 1 exactly when this
// call completed a name in name[0..15], else 0; restart nonzero starts a new
// search from this pulse's bit and returns 0. Constant work, no allocation,
// never blocks; only the capture worker calls it.
int tt250_loader_find_name(unsigned char pulse, unsigned char *name, int restart);

// Same contract as rom_loader_scan (rom.h).
std::size_t tt250_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name);
