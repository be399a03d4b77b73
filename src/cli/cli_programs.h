// Programs off the tape as .prg files (tape/program_files.h), for `extract`
// and for `preview` and `dump` with --programs DIR.
//
// A file is never replaced unasked: without --force an existing target is
// refused (CLI_EXIT_USAGE) and not written, also one that appears while the
// program is written. Each file is written under a temporary name and
// renamed into place, so a failed write leaves no half program
// (CLI_EXIT_FAILED, with the system's reason). Names are printed escaped
// (cli_output.h). Main thread only.
#pragma once

#include "tape/program_files.h"
#include "tape/tape_index.h"

#include <glib.h>

#include <string>
#include <vector>

// Adds --programs (-P) DIR to a capture command's parser.
void cli_programs_add_folder_option(GOptionContext *context);

// Adds --force (-f) for programs to a parser that has none of its own.
void cli_programs_add_force_option(GOptionContext *context);

// Whether existing programs may be replaced; commands with their own --force
// pass theirs on.
void cli_programs_set_force(gboolean force);

// Whether --force was given (for cli_targets_check).
bool cli_programs_force(void);

// The program of a judged record (good or repaired with its bytes), added to
// *programs; nothing for any other record.
void cli_programs_collect(const tape_file_event *record, std::vector<tape_program> *programs);

// Where the programs of one tape go in folder: their file names, in order.
std::vector<std::string> cli_programs_paths(const std::string &folder, const std::vector<tape_program> &programs);

// Writes programs[i] to paths[i] (from cli_programs_paths, checked with
// cli_targets_check), their folder created if missing. Returns CLI_EXIT_OK,
// or CLI_EXIT_FAILED after saying why a folder or a write failed
// (CLI_EXIT_USAGE for a file that appeared meanwhile, which is kept), and
// then which programs were written before.
int cli_programs_write(const std::vector<std::string> &paths, const std::vector<tape_program> &programs);

// During a capture with --programs DIR: writes the record's program (if any)
// as soon as it is judged, under the next free name of this capture. An
// existing file without --force is left alone and named; it makes
// cli_programs_status return CLI_EXIT_USAGE. A failed write is reported and
// makes it CLI_EXIT_FAILED. Nothing without --programs.
void cli_programs_take_during_capture(const tape_file_event *record);

// Checks the folder given with --programs (created if missing): CLI_EXIT_OK,
// or CLI_EXIT_USAGE after saying why it cannot be used.
int cli_programs_prepare_capture(void);

// The capture's status combined with what saving its programs gave.
int cli_programs_status(int status);
