// Programs off the tape, from the contents list: every file judged good or
// repaired keeps its program (load address and bytes) until the list is
// cleared. "Save Program..." (or a double-click on the row) saves the
// selected row's program, "Save All Programs..." every program into a
// folder, as .prg files named by program_file_names (tape/program_files.h).
// The save dialog proposes that name and asks before replacing a file; the
// folder chooser looks at every target first and asks once, naming every
// file it would replace and everything in the way that is no file (whose
// program it then leaves out), and writes nothing on No; the status bar then
// says how many programs were saved and which were not. Both open in the
// folder last saved to (kept in the settings), else the working folder.
// Interface thread only.
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
