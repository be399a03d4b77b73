// Programs off the tape, from the contents list: every file judged good or
// repaired keeps its program (load address and bytes) until the list is
// cleared. "Save Program..." (or a double-click on the row) saves the
// selected row's program, "Save All Programs..." every program into a
// folder, as .prg files named by program_file_names (tape/program_files.h).
// The save dialog proposes that name and asks before replacing a file; the
// folder chooser asks once, naming every file it would replace, and writes
// nothing on No. Both open in the folder last saved to (kept in the
// settings), else the working folder. "Open Tape..." fills the list from a
// DMP file or TAP image as a Preview would; its chooser opens in the folder
// it last opened a tape from (kept in the settings), else the last dump's
// folder. Interface thread only.
#pragma once

#include "tape/program_files.h"
#include "tape/tape_index.h"

#include <gtk/gtk.h>

// Keeps the record's program, if it brings one, for the row of its sequence
// number, and updates the buttons.
void callbacks_programs_keep(const tape_file_event *record);

// Forgets every program (the list is being cleared) and updates the buttons.
void callbacks_programs_clear(void);

// Makes each button sensitive only while it has something to save.
void callbacks_programs_update_buttons(void);

// The program of the row with this sequence number, or null.
const tape_program *callbacks_programs_of(guint sequence);

void on_button_main_save_program_clicked(GtkButton *button, gpointer user_data);
void on_button_main_save_all_programs_clicked(GtkButton *button, gpointer user_data);
void on_treeview_main_tape_contents_row_activated(GtkTreeView *view, GtkTreePath *path, GtkTreeViewColumn *column,
                                                  gpointer user_data);
void on_toolbutton_main_open_tape_clicked(GtkToolButton *button, gpointer user_data);

// Fills the list from the DMP file or TAP image at path (file-name
// encoding), its verdicts and programs included, and says so in the status
// bar; a file that is no tape or cannot be read gets a status message and
// leaves the list as it was. The rows arrive through the main loop.
void callbacks_programs_open_tape(const gchar *path);
