// The files a command writes: all checked together before the first is
// written, and the failures of a write told as they happened.
//
// An output is written only where it was asked for: a name that holds
// nothing, or with --force a regular file or a symbolic link (replaced, not
// followed). No output is ever an input or another output (the same file by
// device and inode, through any name or link), --force or not. A name free
// at the check stays so: the writers take it with a rename that never
// replaces (staged_file.h), and a file that appeared meanwhile is kept.
//
// Every file name in the messages is escaped as `names` prints it
// (cli_output.h). Main thread only.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

// Checks every output against the rules above and the inputs. Returns
// CLI_EXIT_OK (after a note for each output whose other hard links keep
// what it held: they are split from it), or CLI_EXIT_USAGE after naming the
// first output refused and why; nothing is written either way.
int cli_targets_check(const std::vector<std::string> &outputs, const std::vector<std::string> &inputs, bool force);

// The outputs of a TAP image: the image and its index beside it.
std::vector<std::string> cli_targets_of_image(const char *tap_path);

// Reports a write of path that failed with error: a name taken meanwhile
// (G_FILE_ERROR_EXIST) is refused (CLI_EXIT_USAGE), any other reason is a
// failure (CLI_EXIT_FAILED); for an image whose index alone failed
// (TAP_INDEX_ERROR) the message says the image was written. Returns the
// status; frees nothing.
int cli_targets_write_failed(const char *path, const GError *error);
