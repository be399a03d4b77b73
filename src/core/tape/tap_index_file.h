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
// Where a file begins, its pilot or lead-in, is what its block reader reports
// (tape_file_event::first_tick): the files come from the tape index's records
// of the reading that lists the tape's files anyway (a capture's sample pass,
// a rescue's take, or the conversion's own), so a tape is decoded once for
// its files and its index.
//
// The builder is fed every sample of the image with the offset of its entry,
// as the image is written, and handed those records (tap_index_builder_take)
// before or as the image is written: each file is placed at the entry of the
// sample its pilot begins in. A record handed over after its pilot's sample
// passed is placed from the newest samples' places the builder keeps
// (older: at the oldest kept); a file whose pilot lies beyond the image's end
// is left out. Constant memory besides the files. Any thread; one builder per
// image.
#pragma once

#include "tape/tape_index.h"

#include <glib.h>

#include <cstdint>
#include <string>
#include <vector>

struct tap_index_entry {
    uint64_t offset;  // of the first pilot or lead-in entry in the .tap file
    std::string name; // printable, at most 27 characters
};

// Where a sample begins on tape and its entry in the image.
struct tap_index_place {
    uint64_t tick;
    uint64_t offset;
};

// Samples whose places are kept: more than a built-in-format header's
// pilot as the machine writes it, before its reader lists the header.
inline constexpr unsigned tap_index_places = 65536;

// Enough for a builder handed every file before the image is written: such
// a file is placed at most the samples of the byte that aligned its reader
// (8) before the sample being written.
inline constexpr unsigned tap_index_places_marked_ahead = 16;

// A file whose place in the image is not known yet.
struct tap_index_mark {
    uint64_t tick;         // where its block reader says its pilot begins
    unsigned lead_samples; // samples of the pilot before that (the byte that aligned the reader)
    std::string name;
};

struct tap_index_builder {
    std::vector<tap_index_mark> marks;  // files ahead, in tape order
    size_t placed;                      // marks placed so far
    uint64_t tick;                      // where the sample after the last one taken begins
    uint64_t places_kept;               // samples taken; the newest at [(places_kept - 1) % places.size()]
    std::vector<tap_index_place> places;  // the newest samples' places, a ring
    std::vector<tap_index_entry> entries; // placed, in no particular order (tap_index_text sorts them)
};

// Starts a builder with no file, keeping the places of at least the newest
// places samples (rounded up to a power of two; tap_index_places take 1 MB).
void tap_index_builder_init(tap_index_builder *builder, unsigned places = tap_index_places);

// A record of the tape index: a file listed (verdict reading, or not
// checked) is indexed; a judgement of one is not. Fits tape_file_sink.
void tap_index_builder_take(tap_index_builder *builder, const tape_file_event *event);
void tap_index_builder_take_record(void *builder, const tape_file_event *event);

// One sample of the tape, the next, whose entry begins at offset in the
// image. Constant work.
void tap_index_builder_feed(tap_index_builder *builder, unsigned short sample, uint64_t offset);

// For an image that is not the tape the records came from (a clean image):
// a file of the tape whose pilot begins at tick there (name: its 16-byte
// field), placed where the image holds that sample of the tape
// (tap_index_builder_copy); and a file written afresh from offset on, placed
// there at once, or, when the tape's byte that aligned its reader stays as
// recorded before it (after_aligning_byte), where that byte was copied.
void tap_index_builder_mark(tap_index_builder *builder, tape_loader loader, uint64_t tick,
                            const unsigned char name[16]);
void tap_index_builder_add(tap_index_builder *builder, tape_loader loader, const unsigned char name[16],
                           uint64_t offset, bool after_aligning_byte);

// The tape's sample that begins at tick is copied into the image, at the
// entry at offset (several pieces of one pause can share an entry).
void tap_index_builder_copy(tap_index_builder *builder, uint64_t tick, unsigned short sample, uint64_t offset);

// The index file's text for the image named image_name (its base name), the
// entries in the order of their offsets.
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
