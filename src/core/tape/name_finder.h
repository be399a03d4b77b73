// The name-finding half of the capture worker's per-sample pass.
//
// Each sample becomes a pulse byte (the low 8 bits of sample / 8) that goes to
// the ROM loader, Turbo Tape 250 and Turrican loader decoders in that order;
// the decoders after one that completes a name are not called for that pulse.
// The pulse after a found name restarts all three searches. The decoders keep
// their own state across captures; this struct holds only what belongs to one
// capture.
#pragma once

#include <cstddef>

// The tape format whose decoder completed a name.
enum tape_loader : unsigned char {
    tape_loader_rom,
    tape_loader_tt250,
    tape_loader_turrican,
};

struct name_finder {
    unsigned char name[17]; // the decoders' shared name buffer; name[16] is the terminator
    int restart;            // 1 exactly when the previous sample completed a name
    tape_loader loader;     // whose decoder completed the last name
};

// Prepares a finder for a new capture (restart 0, name cleared). Any thread.
void name_finder_init(name_finder *finder);

// Makes the next sample restart all three searches: the decoders then go on
// exactly as decoders that have never seen a pulse. For a tape that does not
// continue what was fed before (the next file a command reads); the client's
// successive captures keep the decoders' state. Any thread.
void name_finder_forget_earlier_tapes(name_finder *finder);

// Feeds one sample. Returns 1 when it completed a name: then finder->name holds
// the 16 bytes of the file-name field as they were on tape, name[16] == 0 and
// finder->loader says which decoder found it.
// Returns 0 otherwise. Constant work, no allocation, never blocks. Only the
// capture worker calls it (the decoders' state is not locked).
int name_finder_feed(name_finder *finder, unsigned short sample);

// Feeds samples[0..count) as name_finder_feed would one by one, and stops
// after the first that completes a name. Returns how many samples it took;
// *found is 1 when the last of them completed a name (the finder then holds
// it as name_finder_feed leaves it), else 0 and every sample was taken.
std::size_t name_finder_scan(name_finder *finder, const unsigned short *samples, std::size_t count, int *found);

// The loader's short name: "rom", "tt250" or "turrican". Any thread.
const char *name_loader_label(tape_loader loader);
