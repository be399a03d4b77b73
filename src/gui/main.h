// Start-up and the application-wide state of the client.
//
// The interface thread (the one that runs main_run and the GTK+ main loop)
// alone reads and writes everything declared here.
#pragma once

#include "tape_icon.h"

#include <gtk/gtk.h>

// The three windows, built once at start-up and kept until the process ends.
// The two settings windows stay hidden until their tool buttons show them.
extern GtkWidget *window_main;
extern GtkWidget *window_format;
extern GtkWidget *window_connection_settings;

// 1 when the user asked the current operation to end (Abort, or a confirmed
// quit); the operations' finish callbacks read it to choose their aborted
// wording. Each start handler sets it to 0 just before creating its worker.
extern int flag_abort_requested;

// 1 while "Stay on top" is active. Windows and dialogs built later apply it
// with gtk_window_set_keep_above when they are created.
extern int flag_windows_always_on_top;

// Steps of start-up up to the main loop: translation domain, GTK+ (which may
// take its own options out of argc/argv), the worker hand-off, the three
// windows, the settings, the initial sampling options, the main window shown
// and its "destroy" connected to quit_program. Interface thread; blocks only
// on the display and the settings file.
void main_start_up(int *argc, char ***argv);

// The whole program: main_start_up, then the GTK+ main loop. Returns 0 when
// the loop ends. "--version" as the only argument prints "zr7k8-client
// VERSION" and returns 0 at once, without opening the display.
int main_run(int argc, char **argv);
