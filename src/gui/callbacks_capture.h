// Placeholder: minimal handlers so that the main window is wired; this file
// is replaced whole by the capture work.
//
// Preview, Dump and Abort buttons.
#pragma once

#include <gtk/gtk.h>

// Preview: starts a capture that shows the tape without saving it.
void on_toolbutton_main_monitor_clicked(GtkToolButton *toolbutton, gpointer user_data);

// Dump: asks for a file and starts a capture into it.
void on_toolbutton_main_dump_clicked(GtkToolButton *toolbutton, gpointer user_data);

// Abort: asks the running operation to end (flag, then port close).
void on_toolbutton_main_abort_clicked(GtkToolButton *toolbutton, gpointer user_data);
