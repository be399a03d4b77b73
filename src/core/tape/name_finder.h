// The name-finding half of the capture worker's per-sample pass.
//
// Each sample becomes a pulse byte (the low 8 bits of sample / 8) that goes to
// the ROM loader, Turbo Tape 250 and Turrican loader decoders in that order;
// the decoders after one that completes a name are not called for that pulse.
// The pulse after a found name restarts all three searches.
//
// Whose decoders: the capture worker's finder (name_finder_init_for_captures)
// runs the specified decoder functions (rom.h, tt250.h, turrican.h), whose one
// state survives from one capture to the next. Every other finder
// (name_finder_init: a file opened, the index, each input of a command) has
// decoders of its own, fresh, so a tape read there starts as if nothing came
// before it, whatever a capture left behind.
#pragma once

#include "tape/rom.h"
#include "tape/turbo.h"

#include <cstddef>

// A tape format: the three whose decoders complete names, then the other
// turbo loaders the block readers read (loader_table.h).
enum tape_loader : unsigned char {
    tape_loader_rom,
    tape_loader_tt250,
    tape_loader_turrican,
    tape_loader_freeload,
    tape_loader_hitload,
    tape_loader_usgold,
    tape_loader_microload,
    tape_loader_novaload,
    tape_loader_novaload_special,
};
inline constexpr unsigned tape_loader_count = 9;

// The three decoders' states, for a finder of its own.
struct name_decoders {
    rom_name_decoder rom;
    turbo_state tt250;
    turbo_state turrican;
};

struct name_finder {
    unsigned char name[17]; // the decoders' shared name buffer; name[16] is the terminator
    int restart;            // 1 exactly when the previous sample completed a name
    tape_loader loader;     // whose decoder completed the last name
    bool captures;          // the capture worker's decoders, not own
    name_decoders own;      // the decoders' states unless captures
};

// Prepares a finder with decoders of its own that have never seen a pulse
// (restart 0, name cleared): for a tape read from its start. Any thread; the
// finder then belongs to one thread at a time.
void name_finder_init(name_finder *finder);

// Prepares the capture worker's finder for a new capture (restart 0, name
// cleared): it feeds the decoders' one program-wide state, which the previous
// capture left as it was. Capture worker only.
void name_finder_init_for_captures(name_finder *finder);

// Feeds one sample. Returns 1 when it completed a name: then finder->name holds
// the 16 bytes of the file-name field as they were on tape, name[16] == 0 and
// finder->loader says which decoder found it.
// Returns 0 otherwise. Constant work, no allocation, never blocks. The thread
// that owns the finder calls it (for name_finder_init_for_captures, the
// capture worker: that state is not locked).
int name_finder_feed(name_finder *finder, unsigned short sample);

// Feeds samples[0..count) as name_finder_feed would one by one, and stops
// after the first that completes a name. Returns how many samples it took;
// *found is 1 when the last of them completed a name (the finder then holds
// it as name_finder_feed leaves it), else 0 and every sample was taken.
std::size_t name_finder_scan(name_finder *finder, const unsigned short *samples, std::size_t count, int *found);

// The loader's short name: "rom", "tt250", "turrican" and the others of
// tape_loader_word (loader_table.h). Any thread.
const char *name_loader_label(tape_loader loader);
