// The index beside a TAP image, for the players of TAP images (hardware tape
// emulators and cartridges) that jump to the second or third program of a
// tape: a text file NAME.idx beside NAME.tap, a first comment line naming the
// image (";" begins a comment), then one line per file found on the tape, in
// tape order:
//
//   ; GAMES.tap
//   0x14 FIRST GAME
//   0x2A3F1 SECOND GAME
//
// The offset is where the file's pilot or lead-in begins in the .tap file,
// header included (so at least 20), in hexadecimal after "0x": a loader
// needs the whole pilot, not just the header. The name is the printable form
// of the tape name (petscii.h), trailing spaces dropped, at most 27
// characters; control characters never appear, not even from the image's
// name. The file stays under 8 KB: files past that are left out.
//
// A ROM-loader file's pilot is the run of short pulses before its header; a
// Turbo Tape 250 or Turrican file's lead-in is the run of pulses in their
// windows that holds its header (a turbo file that follows another without a
// pause shares its run, so its entry points at the start of that run); the
// other turbo loaders' files begin where their block readers say their pilot
// began (tape_file_event::first_tick), looked up among the newest
// tap_index_places samples' entries.
//
// The builder is fed every sample with the offset of its entry in the image,
// as the image is written. It keeps nothing but the entries: constant memory
// besides them. Any thread; one builder per image.
#pragma once

#include "tape/name_finder.h"
#include "tape/tape_index.h"

#include <glib.h>

#include <cstdint>
#include <string>
#include <vector>

struct tap_index_entry {
    uint64_t offset;  // of the first pilot or lead-in entry in the .tap file
    std::string name; // printable, at most 27 characters
};

// A run of pulses that could be a pilot or a lead-in.
struct tap_index_run {
    uint64_t tick;    // where its first pulse begins
    uint64_t offset;  // that pulse's entry in the image
    uint32_t pulses;
};

// Where a sample begins on tape and its entry in the image.
struct tap_index_place {
    uint64_t tick;
    uint64_t offset;
};

// Samples whose places are kept: more than a pilot and header of the turbo
// loaders found by their pilot, with the index's batch.
inline constexpr unsigned tap_index_places = 16384;

struct tap_index_builder {
    name_finder finder;
    tape_index index;
    uint64_t tick;                    // where the next sample begins
    tap_index_run rom_run, turbo_run; // the runs under way
    tap_index_run rom_pilots[4], turbo_runs[4]; // the last few that ended, newest at [n % 4]
    uint32_t rom_pilots_ended, turbo_runs_ended;
    uint64_t places_kept;             // samples fed; the newest at [(places_kept - 1) % tap_index_places]
    tap_index_place places[tap_index_places];
    std::vector<tap_index_entry> entries;
};

// Starts a builder (large: allocate it on the heap).
void tap_index_builder_init(tap_index_builder *builder);

// One sample whose entry begins at offset in the image.
void tap_index_builder_feed(tap_index_builder *builder, unsigned short sample, uint64_t offset);

// The image has ended.
void tap_index_builder_finish(tap_index_builder *builder);

// The index file's text for the image named image_name (its base name).
std::string tap_index_text(const char *image_name, const std::vector<tap_index_entry> &entries);

// The index's path beside tap_path: its ".tap" ending (any case) replaced by
// ".idx" (".idx" added to any other name). The caller frees it with g_free.
gchar *tap_index_path(const char *tap_path);

// Writes the index of the image at tap_path beside it, through a staged file
// (staged_file.h): replacing a file there only when replace is non-zero
// (else G_FILE_ERROR_EXIST). Returns 1, or 0 with *error set (the system's
// reason).
int tap_index_write(const char *tap_path, const std::vector<tap_index_entry> &entries, int replace,
                    GError **error);
