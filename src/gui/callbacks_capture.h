// Preview, Dump and Abort: starting a capture, its worker thread, and its end.
// Handlers and idle callbacks run on the interface thread; thread_dump_core
// and dump_core_thread_cleanup on the capture's worker thread.
#pragma once

#include <gtk/gtk.h>
#include <stdio.h>

// Preview: with a device port set, clears the plot and the tape contents
// list and starts a capture without a file (thread "monitor"); the toolbar
// turns busy once the thread exists. An empty port setting shows " Error: Invalid device port".
void on_toolbutton_main_monitor_clicked(GtkToolButton *toolbutton, gpointer user_data);

// Dump: asks for a file name, creates the dump under a temporary name beside
// it (capture_dump.h), then with a device port set starts a capture into it
// (thread "dump"); the dump replaces the chosen file only once the device has
// acknowledged the capture, so a capture that never starts leaves it as it
// was. A cancelled dialog changes nothing; a name that cannot be written (no
// file can be made beside it, or it names something other than a regular
// file) shows " Error: Failed to open destination file"; an empty port
// setting shows " Error: Invalid device port" and touches nothing. With "Also
// write a TAP image for emulators" ticked in the dialog, the worker also makes
// NAME.tap beside NAME.DMP once the dump is in place, if the dump holds at
// least one sample.
void on_toolbutton_main_dump_clicked(GtkToolButton *toolbutton, gpointer user_data);

// Abort: sets flag_abort_requested and closes the port; the worker's next
// read fails and its finish callback reports " Operation aborted". A job
// reading files (callbacks_file_job.h) is asked to stop.
void on_toolbutton_main_abort_clicked(GtkToolButton *toolbutton, gpointer user_data);

// The worker (data: the capture's job, which it frees): the capture, then the
// TAP image if one was asked for, then (a dump kept) the dump handed to Save
// Clean TAP... as the listed tape, then the ending. Returns nullptr.
gpointer thread_dump_core(gpointer data);

// The worker's ending: closes the file, has every plot row shown, light off,
// 1 ms, then queues idle_finish_dump_core with the reason (nullptr: success).
void dump_core_thread_cleanup(FILE *file, const char *reason);

// Finish callback: shows " Operation aborted" (after an Abort that cut the
// capture short), " Operation failed: %s" with the reason, or " Operation
// succeeded" (also after an Abort that came once the capture had succeeded), followed by
// "; TAP image not written: " and the system's reason when the TAP image
// failed; stops the tape clock; restores the toolbar; closes the port.
// Returns FALSE (runs once).
gboolean idle_finish_dump_core(gpointer reason);
