// "Rescue...": two or more takes of one tape side (DMP files or TAP images,
// chosen together in one file chooser) combined byte by byte
// (tape/tape_rescue.h), as `zr7k8 rescue` does. The takes are read on a
// worker (callbacks_file_job.h), the status bar naming the take it reads;
// Abort stops it. The list then shows the combined files with their
// verdicts (good, repaired, rescued or bad) and keeps their programs for
// Save Program... and Save All Programs...; Save Clean TAP... makes the image
// of the first take (the first by name) with what the rescue gave back. The chooser opens in the
// folder it last took takes from (kept in the settings), else the last
// dump's folder. Interface thread only.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

void on_toolbutton_main_rescue_clicked(GtkToolButton *button, gpointer user_data);

// Starts the rescue of the takes at paths (file-name encoding; two or more):
// the list is cleared and the worker started. Fewer than two takes, or a
// file that is no tape, get a status message and change nothing.
void callbacks_rescue_start(const std::vector<std::string> &paths);
