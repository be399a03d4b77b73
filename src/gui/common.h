// Helpers shared by the handlers: the status bar, the yes/no question and the
// toolbar's busy state. Interface thread only.
#pragma once

#include "options.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

// Shows `text` (UTF-8, kept by the caller) in statusbar_main, replacing the
// message shown before: the bar never holds more than one message. Status
// texts begin with one space by convention; the text is shown as given.
void common_statusbar_update(const gchar *text);

// Asks a yes/no question in a new modal "Confirmation request" dialog (kept
// above other windows while "Stay on top" is active). `message` is Pango
// markup shown unchanged. Blocks in a nested main loop until the user
// answers, so idle callbacks and signal handlers keep running meanwhile; the
// caller must read any state it depends on after the call. Returns 1 for Yes,
// 0 for No, Escape or the window manager's close.
int common_get_user_confirmation(const gchar *message);

// Before files are written: TRUE when no name among paths (file-name
// encoding) is taken (a dangling link counts as taken), or when the user,
// asked once with every taken one named, agrees to replace them (a question
// above parent). Blocks in a nested main loop while it asks.
gboolean common_may_replace_files(GtkWidget *parent, const std::vector<std::string> &paths);

// Asks `question` (plain text) with Yes and No above parent, kept on top as
// the main window is; TRUE on Yes. Blocks in a nested main loop.
gboolean common_ask_yes_no(GtkWidget *parent, const gchar *question);

// A file name (file-name encoding) as messages show it: UTF-8, its base name
// only when base_only, escaped as the command line's `names` escapes names.
std::string common_shown_file_name(const char *path, bool base_only);

// Opens chooser in the folder last used for `use` (options.h), else the
// last dump's folder, else the working folder.
void common_chooser_open_in(GtkWidget *chooser, options_folder_use use);

// Remembers folder (file-name encoding) for `use` and saves the settings
// when it changed.
void common_remember_folder(options_folder_use use, const gchar *folder);

// Switches the main toolbar between its two states. Busy (running 1): greys
// Settings, Options, Preview, Dump, Open Tape, Rescue, Reboot and FW Update,
// in that order, then makes Abort available. Resting (running 0): makes
// those available in the same order, then greys Abort. About, Stay on top
// and Quit are never touched. Save Clean TAP... below the list follows (it
// starts a worker too).
// Operations call it with 1 once their worker exists and with 0 from their
// finish callback, before closing the port.
void common_toolbar_set_operation_running(int running);

// 1 between an operation's common_toolbar_set_operation_running(1) and its
// finish callback's (0), else 0.
int common_operation_running(void);
