// Preview and Dump from the command line: the client's capture worker
// (port, prompt, sampling command, acknowledgement, stream, end reasons)
// run as a cli_job, with the names found and the verdicts of the files read
// on standard output (cli_names.h) and the progress on standard error
// (cli_progress.h).
#pragma once

#include "link/capture_dump.h"
#include "sampling_options.h"

#include <glib.h>
#include <stdio.h>

// What Preview and Dump take from their command line.
struct cli_capture_setup {
    char *port;                      // g_free
    sampling_option_values options;
};

// Parses a capture command's line: its own entries (may be null), --port,
// --check, --health, --programs and the sampling options, and exactly `arguments` arguments (described by
// `arguments_text`). Returns CLI_EXIT_OK with *setup filled, else
// CLI_EXIT_USAGE after printing why.
int cli_capture_parse(int *argc, char ***argv, const char *name, const char *arguments_text, int arguments,
                      const char *summary, const GOptionEntry *entries, cli_capture_setup *setup);

// Runs one capture (capture_session.h) into `dump` (null: a preview) from
// the device on `port` with these sampling options, and reports its end. The
// dump belongs to the capture: once the device has acknowledged, it is put in
// place under dump_path, with what arrived whatever the end, and synced
// before the end is reported; a capture that never began leaves the path
// untouched. With tap_path, a dump in place that holds a sample is made into
// a TAP image there too, with its index (its failure is a failure), replacing
// files there only with force. A dump whose name another file took meanwhile
// is refused (CLI_EXIT_USAGE, naming it). Returns the exit status:
// CLI_EXIT_OK after the success marker, CLI_EXIT_FAILED with the reason
// printed, CLI_EXIT_INTERRUPTED after Ctrl-C or SIGTERM. Blocks for the
// length of the capture. Main thread.
int cli_capture_run(capture_dump *dump, const char *dump_path, const char *tap_path, bool force, const char *port,
                    const sampling_option_values *options);
