// "Open Tape...": a DMP file or TAP image made earlier shown as a capture of
// it would have shown it. The file is read on a worker (callbacks_file_job.h)
// through the sample pass (sample_pass_read_file): the toolbar is busy, the
// status bar says how far the reading has come, Abort stops it, and the list
// fills as the file is read, verdicts and programs included. Afterwards the
// tape clock shows the tape's length, the health readout its last figures
// (nothing when no pilot was measured), and the plot the tape's last
// screenful of pulses; the tape is the one Save Clean TAP... saves. The
// chooser opens in the folder it last opened a tape from (kept in the
// settings), else the last dump's folder. Interface thread only.
#pragma once

#include <gtk/gtk.h>

void on_toolbutton_main_open_tape_clicked(GtkToolButton *button, gpointer user_data);

// Opens the tape at path (file-name encoding): a file that is no tape gets a
// status message and leaves everything as it was; otherwise the plot, the
// list and the readouts are cleared and the worker started.
void callbacks_open_tape(const gchar *path);
