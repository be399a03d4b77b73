// The sampling options on the command line: --machine, --video, --both-edges
// and --rising, the choices of the client's Sampling options window.
#pragma once

#include "sampling_options.h"

#include <glib.h>

// Adds the four options to a subcommand's parser; their values stay in this
// module until cli_sampling_values reads them.
void cli_sampling_add_options(GOptionContext *context);

// Turns the parsed options into the four values (default: C64, PAL, neither
// edge option). Returns CLI_EXIT_OK, or CLI_EXIT_USAGE after printing why
// (an unknown machine type or video standard). An edge option that the
// machine type does not use is kept, as the window keeps a greyed-out tick,
// and never sent; a note on standard error says so.
int cli_sampling_values(sampling_option_values *values);

// cli_parse (the parser freed afterwards), then cli_sampling_values into
// *values: the usual start of a command that takes the sampling options.
// Returns CLI_EXIT_OK or CLI_EXIT_USAGE after printing why.
int cli_parse_with_sampling(GOptionContext *context, int *argc, char ***argv, int min_args, int max_args,
                            sampling_option_values *values);
