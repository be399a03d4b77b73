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

// Writes the clean image of takes[0] (read from take_path) and its index to
// tap_path and beside it (checked by cli_targets_check before; replacing
// files only with force) and says how many files it wrote afresh. Returns
// CLI_EXIT_OK, or the status of cli_targets_write_failed after saying what
// was not written.
int cli_write_clean_image(const char *take_path, const std::vector<std::vector<tape_take_file>> &takes,
                          const std::vector<tape_rescued_file> &files, const sampling_option_values *options,
                          const char *tap_path, bool force);
