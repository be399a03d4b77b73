// TAP image to sample stream, whole, for the tools and the tests: the
// core's TAP reader (tape/tap_reader.h, tape/tape_input.h) with the samples
// gathered in a vector. The conversion's rules are the core's.
#pragma once

#include "tape/tap_reader.h"

#include <cstddef>
#include <string>
#include <vector>

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
