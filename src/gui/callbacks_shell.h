// Handlers of the program's frame: quitting, "Stay on top", and the idle
// callback through which workers post status texts. Interface thread only.
#pragma once

#include <gtk/gtk.h>

// Idle callback: shows the worker's string constant `data` as " " + text
// (pattern " %s", translated) in the status bar. Returns FALSE (runs once).
gboolean idle_statusbar_update(gpointer data);

// "destroy" of window_main: asks for the end of any operation (flag and port
// close) and leaves the main loop.
void quit_program(void);

// Quit button: after "Are you sure you want to quit?" is answered Yes, saves
// the settings, closes the port, waits (the main loop running, at most 30 s)
// for a running operation's finish, so that an aborted dump is closed and its
// TAP image written, and leaves the main loop; No changes nothing.
void on_toolbutton_main_quit_clicked(GtkToolButton *toolbutton, gpointer user_data);

// The window manager's close of window_main: the same question. Returns TRUE
// (window stays) on No; on Yes saves the settings, closes the port, waits for
// a running operation's finish as the Quit button does and returns FALSE, so
// that the window is destroyed and quit_program runs.
gboolean on_window_main_delete_event(GtkWidget *widget, GdkEvent *event, gpointer user_data);

// "Stay on top": stores the toggle's state in flag_windows_always_on_top and
// sets keep-above to it on window_main, window_format and
// window_connection_settings.
void on_toolbutton_main_stay_on_top_toggled(GtkToggleToolButton *toggletoolbutton, gpointer user_data);

// About button: builds and shows the about dialog and returns at once; the
// dialog destroys itself on any response.
void on_toolbutton_main_about_clicked(GtkToolButton *toolbutton, gpointer user_data);
