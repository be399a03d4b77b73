// Standard output as a channel for results: file names printed so that they
// cannot forge lines, and the writes checked, so that a result that never
// arrived (a full disk, a closed descriptor) is a failure, as coreutils treat
// it. Main thread only.
#pragma once

#include "escaped_text.h"

#include <string>

// Makes sure standard input, output and error are open descriptors: one
// that is closed gets /dev/null opened the wrong way round (output read-only,
// input write-only), so that using it fails as a closed one would, and no
// file the program opens lands on the number. Call first thing in main.
void cli_output_guard_standard_descriptors(void);

// Flushes standard output; a failure is remembered with its reason.
void cli_output_flush(void);

// Whether a write to standard output has failed (so far).
int cli_output_failed(void);

// Flushes and closes standard output. Returns `status`, or CLI_EXIT_FAILED
// after printing "zr7k8: write error: REASON" when anything written to it
// was lost and `status` claimed success (CLI_EXIT_OK, CLI_EXIT_BAD_FILE,
// CLI_EXIT_UNREAD).
int cli_output_close(int status);

// The text escaped as every name the command line prints (escaped_text.h).
inline std::string cli_escaped(const char *text)
{
    return escaped_text(text);
}
