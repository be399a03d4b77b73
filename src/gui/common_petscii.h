// Showing a tape file name in the status bar. Interface thread only.
#pragma once

#include <glib.h>

// Shows " Filename intercepted: %s" (translated) with the printable part of
// the 17-byte PETSCII name (trailing spaces trimmed in place, only 0x20..0x5D
// kept), replacing the status bar's message.
void common_print_petscii_filename(unsigned char *name);

// Idle callback: data is a heap sample_pass_name, whose name it shows; frees
// it. Returns FALSE (runs once).
gboolean idle_print_petscii_filename(gpointer data);
