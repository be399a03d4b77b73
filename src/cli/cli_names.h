// Names found on a tape, one line each on standard output:
//
//   TIME<TAB>LOADER<TAB>NAME
//
// TIME is the tape time of the name's end (m:ss.s), LOADER "rom", "tt250" or
// "turrican", NAME the name as the client's status bar shows it (its
// printable part). `names` with several files puts FILE<TAB> in front.
#pragma once

#include "sample_pass.h"

// Prints one line for `found`, with "file\t" in front when file is not null,
// and flushes standard output. Returns the printable name (valid until the
// next call).
const char *cli_print_name(const char *file, const sample_pass_name *found);
