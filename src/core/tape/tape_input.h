// A tape kept in a file, read as a stream of samples: a DMP file (the
// device's samples, 16 bits each, low byte first, no header) or a TAP image
// (tap_reader.h), told apart by the TAP signature at its start.
//
// The input is read once, from start to end, through the reader's own
// fixed buffer: its memory is the same for a second of tape as for a
// never-ending stream, and a FIFO, a pipe, a terminal or a process
// substitution (/dev/fd/N) is read as well as a regular file. Every command
// that reads tapes reads them through here.
//
// A TAP image ends where its length field or the file ends, whichever comes
// first. Of a regular file the open tells whether the length field counts
// exactly the bytes after the header; a stream cannot be judged ahead.
//
// Reads block until the input gives data: a stream whose writer neither
// writes nor closes holds the caller, which a signal's default action ends
// (nothing here catches signals). Any thread; an input belongs to one thread
// at a time.
#pragma once

#include "tape/tap_reader.h"

#include <glib.h>

#include <cstddef>
#include <string>

#define TAPE_INPUT_BUFFER_SIZE 65536

enum tape_input_kind {
    tape_input_dmp,
    tape_input_tap,
};

struct tape_input;

// Opens the file at path (O_RDONLY, never creating it) and reads its first
// bytes to tell a TAP image from a DMP file. clock_hz: for a TAP image, the
// machine's clock (0: from the header). Returns the input, or null with
// *error set (message: the system's reason, or what is wrong with a TAP
// image: cut short inside its header, or an unknown version). Blocks until a stream's
// writer has opened it and sent its first bytes or closed it.
tape_input *tape_input_open(const char *path, unsigned clock_hz, GError **error);

// What the input holds; for a TAP image, what its header says (else null).
tape_input_kind tape_input_get_kind(const tape_input *input);
const tape_tap_info *tape_input_tap_header(const tape_input *input);

// For a TAP image in a regular file: returns 1 with the bytes its header's
// length field counts in *counted and the bytes after its header in *held (an
// image cut short holds fewer, one with bytes past its end more). Else 0.
int tape_input_tap_sizes(const tape_input *input, guint64 *counted, guint64 *held);

// Reads the next samples into samples[0..max) (max >= 1). Returns how many
// (at least 1), 0 at the end of the tape, or -1 with *error set (message:
// the system's reason) when the input cannot be read. Blocks until the input
// gives data or ends.
long tape_input_read(tape_input *input, unsigned short *samples, std::size_t max, GError **error);

// How far the input has come: the bytes read from the file so far (*done)
// and, for a regular file, its size (*total; 0 for a stream). Any thread
// that owns the input; never blocks.
void tape_input_progress(const tape_input *input, guint64 *done, guint64 *total);

// After the end: whether a DMP file ended with half a sample (one odd byte,
// which is left out).
int tape_input_odd_trailing_byte(const tape_input *input);

// Closes the file and frees the input (null is allowed).
void tape_input_close(tape_input *input);

// Judges the regular file at path from its header and its size, without
// reading it whole (a stream cannot be judged without taking its first
// bytes: it gives 0 with "not a regular file"). Returns 1 for a TAP image of
// version 0 to 2; when its length field does not count exactly the bytes
// after its header (an image cut short, as many in collections are, or one
// with bytes past its end), *warning (when given) says so and what the
// reading makes of it, else it is left empty. Returns -1 for a readable file
// that is no TAP image at all (it does not begin with "C64-TAPE-RAW" or
// "C16-TAPE-RAW"); 0 with the reason in *error (may be null) for a file that
// cannot be read, and for a TAP image cut short in its header or of an
// unknown version. Blocks on the disk only.
int tape_input_check(const char *path, std::string *error, std::string *warning = nullptr);
