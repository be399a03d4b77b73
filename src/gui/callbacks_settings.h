// Handlers of the connection settings window and of its tool button.
// Interface thread only.
//
// Both port entries offer the serial ports present as completions (port_list.h):
// the path, with "maker product" beside it, listed afresh each time the window
// opens. The entries still take any text.
#pragma once

#include <gtk/gtk.h>

// Columns of the list store behind both entries' completions.
enum {
    PORT_COMPLETION_COLUMN_PATH,         // what goes into the entry
    PORT_COMPLETION_COLUMN_DESCRIPTION,  // "maker product", shown beside it
    PORT_COMPLETION_COLUMNS
};

// A completion for a port entry on `store` (columns above): it shows the path
// and the description and offers a port when the typed text begins its path
// or its name below /dev/ (so "ttyA" finds "/dev/ttyACM0"); with the entry
// emptied it offers every port. Returns a new reference.
GtkEntryCompletion *callbacks_settings_new_port_completion(GtkListStore *store);

// The folders the window lists ports from; "/dev" and "/sys" unless changed.
// For tests, which give a made-up tree. Copies both.
void callbacks_settings_set_port_roots(const char *dev_root, const char *sys_root);

// Settings button: lists the ports present into the entries' completions,
// fills both entries from the settings and shows the window.
void on_toolbutton_main_settings_clicked(GtkToolButton *toolbutton, gpointer user_data);

// OK: stores both entries' texts exactly as typed, hides the window and saves
// the settings file (a failed save is not reported).
void on_button_connection_settings_ok_clicked(GtkButton *button, gpointer user_data);

// The window manager's close: hides the window, discarding the edits (the next
// showing refills the entries). Returns TRUE, so the window is not destroyed.
gboolean on_window_connection_settings_delete_event(GtkWidget *widget, GdkEvent *event, gpointer user_data);
