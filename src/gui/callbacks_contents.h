// The tape's contents beside the plot (treeview_main_tape_contents): one row
// per file found on the tape while a capture runs, with its position (m:ss
// from the start of the capture, at the header's first byte), its loader, its
// name as the status bar shows it (a nameless file's address range), and how
// it read back ("reading..." until judged, then "good", "repaired", "bad" or
// "cut short"; "rescued" after a rescue). A stock icon
// marks good, repaired, bad, cut short and rescued files; a row's tooltip is
// the tape health measured on the file's pilot or lead-in, or for a rescued
// file what the rescue did. A stretch of pulses no format read has a row of
// its own (position "0:31", loader "unread", and in the verdict's column
// "2:06 of pulses in no format read here", also its tooltip), sequence number
// 0. Cleared when a capture or a file's reading starts, kept after it ends.
// Interface thread only.
#pragma once

#include "tape/tape_index.h"

#include <gtk/gtk.h>

// Gives the list view its store and its four columns, and its scrolled
// window the width that shows a usual row whole in the view's font and
// language, with room for a scroll bar (the window opens with that room; the
// user may narrow the list below it). Called once by the main window's
// builder, with the view already in the scrolled window.
void callbacks_contents_set_up_view(GtkScrolledWindow *scrolled_window, GtkTreeView *view);

// Empties the list and forgets its programs and its tape; a capture is about
// to start.
void callbacks_contents_clear(void);

// The sequence number of the selected row: false when none is selected.
bool callbacks_contents_selected(guint *sequence);

// The sequence number of the row at path: false when there is none.
bool callbacks_contents_sequence_at(GtkTreePath *path, guint *sequence);

// Shows a file record: one with a sequence number not seen since the last
// clear adds a row at the end (and the call returns true); one already
// listed rewrites that row; a program it brings is kept
// (callbacks_programs.h).
bool callbacks_contents_show(const tape_file_event *record);

// Idle callback for a tape file's records: data is a heap tape_file_event
// (tape_index.h), which it shows (callbacks_contents_show) and frees.
// Returns FALSE (runs once).
gboolean idle_show_tape_file(gpointer data);

// The same for a capture's records; besides, a file that no name decoder
// reads (every loader but the ROM loader, Turbo Tape 250 and Turrican) is
// named in the status bar as the decoders' names are (" Filename
// intercepted: %s", common_petscii.h) when its row is added: its name, or
// its address range.
gboolean idle_show_captured_tape_file(gpointer data);

// Idle callback for the unread stretches (tape_unread.h): data is a heap
// tape_unread_stretch, which it frees. Adds its row at the end: where the
// stretch begins, "unread", and its length. Returns FALSE (runs once).
gboolean idle_show_unread_stretch(gpointer data);
