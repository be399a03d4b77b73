// The sample pass: what happens to every sample of a capture's stream.
//
// Each sample goes first to the plot's row builder, then (as a pulse byte)
// to the three tape-header name decoders. A name found is handed to the
// interface as a 17-byte heap copy (16 PETSCII bytes and a 0) that the
// receiving callback frees.
#pragma once

#include "name_finder.h"

#include <glib.h>

struct sample_pass {
    guint32 tick_sum;     // tape time not yet turned into a plot row
    name_finder finder;   // per-capture decoder state (restart flag)
    GSourceFunc print_name;  // receives each name found; nullptr: names dropped
};

// Starts a capture's pass. Worker thread.
void sample_pass_init(sample_pass *pass, GSourceFunc print_name);

// Passes one sample on. Worker thread; never blocks beyond the plot's short
// lock; allocates only for a found name.
void sample_pass_feed(sample_pass *pass, unsigned short sample);

// Adapter for capture_outputs.sample; context is a sample_pass.
void sample_pass_take(void *context, unsigned short sample);
