// A clean TAP image of a tape side: every file read from it (good, repaired or
// rescued; every loader) written afresh with its format's nominal pulses, and everything between those files (other loaders,
// files that stayed bad, pauses, noise) copied from the first take as
// recorded, so that nothing unknown is lost.
//
// Built-in format: each block replaces the take's stretch from the pilot
// before its first copy to the last byte of its repeated copy, and the take's
// end mark and trailer after it; the pause between a header and its data
// stays as recorded. Written as the machine writes it: 27136 short pulses
// before a header's first copy, 5376 before a data block's, 79 before each
// repeated copy and 79 after it; pulses of 0x30, 0x42 and 0x56 TAP units.
//
// Turbo Tape 250 and Turrican: header and data block together replace the
// take's stretch from the header's lead-in (from the byte after the one that
// first aligned the reader, which stays as recorded) to the data block's
// checksum. Each lead-in has the bytes the take recorded, a header's never
// fewer than the name decoder needs; the rows' nominal pulses (0x1A and 0x28
// units for Turbo Tape 250).
//
// The other pilot-byte loaders (Freeload, Hitload, US Gold, Microload): the
// file replaces the take's stretch from its pilot (after the aligning byte)
// to its check byte, with the row's pilot length and pulses. Novaload: from
// the pilot's first 0 pulse to the final check byte, 1800 pilot pulses;
// the take's trailer stays as recorded. Novaload Special: each run replaces
// its pages (the chain's first run also its pilot and markers); the closing
// page and trailer stay as recorded. A file the take does not hold, or
// holds cut short (the take ended inside it), brings its own trailer (and
// closing page).
//
// A file the first take does not hold goes before the next file on the tape
// (in the take that holds it) that the first take holds, or at the end,
// after a pause of its own: a take cut inside a pilot byte or a block leaves
// no half byte for the file's reader to stumble over.
// A block the first take holds no byte of goes right after the block before
// it; a file whose header the first take read only as part of another block
// (where a program's data was due) stays as recorded. Data files of the
// built-in format hold no program and stay as recorded too. A pause a TAP
// take held as one entry stays one entry. In a half-wave image (version 2)
// each nominal pulse is two equal halves.
//
// The take is read through tape_input (tape_input.h) a second time, streamed:
// the memory is the files' programs, whatever the take's length. The image
// and its index are written as tap_writer.h writes them: under a temporary
// name, renamed into place once complete.
//
// Any thread; blocks on the disk.
#pragma once

#include "sampling_options.h"
#include "tape/tape_read_control.h"
#include "tape/tape_rescue.h"
#include "tape/tape_take.h"

#include <glib.h>

#include <cstdint>
#include <vector>

struct clean_tap_result {
    unsigned files_rebuilt; // files written afresh
    uint64_t samples;       // entries written
};

// Writes the clean image of the take at take_path (a DMP file or a TAP image,
// read as when its files were found) to tap_path with its index beside it.
// takes: every take's files as tape_take_reader_finish gave them, the first
// being take_path's; files: what tape_rescue made of them (for one take, of
// that take alone); replace as for tap_file_create (tap_writer.h). Returns 1
// and fills *result (may be null); or 0 with *error set (message: the
// system's reason), leaving no image behind and any earlier file under
// tap_path as it was (or, a TAP_INDEX_ERROR, the image written and only its
// index not). control (may be null) is told how far the take's second
// reading has come; when it asks to stop, returns 0 with *error untouched and
// leaves nothing behind as on a failure.
int clean_tap_write(const char *take_path, const std::vector<std::vector<tape_take_file>> &takes,
                    const std::vector<tape_rescued_file> &files, const sampling_option_values *options,
                    const char *tap_path, int replace, clean_tap_result *result, GError **error,
                    tape_read_control *control = nullptr);
