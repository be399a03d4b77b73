// TAP image to sample stream.
//
// A TAP image (versions 0, 1 and 2) stores a tape as pulse lengths in units
// of 8 machine cycles; a 0 byte means a longer pulse (version 0: an overflow
// of unknown length; versions 1 and 2: the next three bytes hold the exact
// cycle count, low byte first). Version 2 stores half waves, two per pulse.
// The device counts 2 MHz ticks, so a pulse of c cycles becomes
// c x 2000000 / clock ticks, where clock is the machine's clock taken from the
// image's header (C64 PAL 985248 Hz unless the header says otherwise) or
// given by the caller. A pulse longer than 65535 ticks (a pause) becomes as
// many equal samples as it needs, so the tape keeps its length; a version 0
// overflow, of unknown length, becomes one sample of 65535.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct tape_tap_info {
    unsigned version;  // 0, 1 or 2
    unsigned machine;  // header byte 13: 0 C64, 1 VIC-20, 2 C16/Plus4
    unsigned video;    // header byte 14: 0 PAL, 1 NTSC, 2 old NTSC, 3 PAL-N
    unsigned clock_hz; // the clock used for the conversion
};

// Converts an image held in memory. clock_hz 0 takes the clock from the
// header. Returns 1 and replaces *samples on success; returns 0 with a reason
// in *error for data that is not a TAP image of version 0 to 2. A data length
// field larger than the file is cut to the file; a last overflow entry cut
// short ends the stream. info may be nullptr.
int tape_tap_to_samples(const unsigned char *data, size_t size, unsigned clock_hz,
                        std::vector<unsigned short> *samples, tape_tap_info *info, std::string *error);

// Reads and converts the file at path. Same results; a file that cannot be
// read gives 0 with the system's reason.
int tape_tap_file_to_samples(const char *path, unsigned clock_hz, std::vector<unsigned short> *samples,
                             tape_tap_info *info, std::string *error);

// Judges the file at path from its header and its size, without reading it
// whole. Returns 1 for a TAP image of version 0 to 2; when its length field
// does not count exactly the bytes after its header (an image cut short, as
// many in collections are, or one with bytes past its end), *warning (when
// given) says so and what the reading makes of it, else it is left empty.
// Returns -1 for a readable file that is no TAP image at all (it does not
// begin with "C64-TAPE-RAW" or "C16-TAPE-RAW"); 0 with the reason in *error
// for a file that cannot be read, and for a TAP image cut short in its header
// or of an unknown version.
int tape_tap_file_check(const char *path, std::string *error, std::string *warning = nullptr);
