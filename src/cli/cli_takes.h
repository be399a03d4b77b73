// Takes of a tape side for `rescue` and `totap --clean`: each read through
// the take reader (tape/tape_take.h), streamed, and a clean TAP image made of
// the first (tape/clean_tap.h). Main thread only.
#pragma once

#include "sampling_options.h"
#include "tape/tape_rescue.h"
#include "tape/tape_take.h"

#include <vector>

// Reads the take at path (a DMP file or a TAP image) to its end into *files.
// Returns CLI_EXIT_OK, or CLI_EXIT_FAILED after saying why it could not be
// read.
int cli_read_take(const char *path, std::vector<tape_take_file> *files);

// Refuses (CLI_EXIT_USAGE, naming it) an output path that exists when
// --force was not given; else CLI_EXIT_OK.
int cli_check_target(const char *tap_path, bool force);

// Writes the clean image of takes[0] (read from take_path) to tap_path and
// says how many files it wrote afresh. Returns CLI_EXIT_OK, or
// CLI_EXIT_FAILED after saying why (nothing is then left under tap_path but
// what was there).
int cli_write_clean_image(const char *take_path, const std::vector<std::vector<tape_take_file>> &takes,
                          const std::vector<tape_rescued_file> &files, const sampling_option_values *options,
                          const char *tap_path);
