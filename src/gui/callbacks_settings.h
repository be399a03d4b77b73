// Handlers of the connection settings window and of its tool button.
// Interface thread only.
#pragma once

#include <gtk/gtk.h>

// Settings button: fills both entries from the settings and shows the window.
void on_toolbutton_main_settings_clicked(GtkToolButton *toolbutton, gpointer user_data);

// OK: stores both entries' texts exactly as typed, hides the window and saves
// the settings file (a failed save is not reported).
void on_button_connection_settings_ok_clicked(GtkButton *button, gpointer user_data);

// The window manager's close: hides the window, discarding the edits (the next
// showing refills the entries). Returns TRUE, so the window is not destroyed.
gboolean on_window_connection_settings_delete_event(GtkWidget *widget, GdkEvent *event, gpointer user_data);
