// Window builders. Each returns a new top-level window, not yet shown, with
// every child shown, every named widget registered on it (support.h) and its
// signals connected. Interface thread only; they do not fail.
#pragma once

#include <gtk/gtk.h>

// The main window: toolbar (the ten buttons, Open Tape... and Rescue...),
// pulse plot beside the tape contents list and its buttons, status bar and
// the activity indicator. Only Abort (and the list's buttons) are greyed. "destroy" is left for start-up.
GtkWidget *create_window_main(void);

// "Sampling options": machine type and video standard combos, two edge
// options. Modal, hidden on close; Escape closes it as the close button does.
GtkWidget *create_window_format(void);

// "Connection settings": device and bootloader port entries and OK. Modal,
// hidden on close; Escape closes it as the close button does; the device port
// entry has the focus.
GtkWidget *create_window_connection_settings(void);

// "Confirmation request": an empty centred label and the Yes (response
// GTK_RESPONSE_YES) and No (GTK_RESPONSE_NO) buttons, no parent, modal.
GtkWidget *create_dialog_yes_no_confirmation(void);

// Builds the save dialog, not yet shown: "Save data to a DMP file", with
// Cancel and Open (the default) buttons, each named part registered.
GtkWidget *create_filechooserdialog_save_dump(void);

// Save Program... (a file name proposed by the caller), Save All
// Programs... (a folder), Open Tape... and Rescue... (filters for DMP files
// and TAP images; Rescue's takes several) and Save Clean TAP... (a file
// name); OK answers GTK_RESPONSE_OK. Registered as
// filechooserdialog_save_program, filechooserdialog_save_all_programs,
// filechooserdialog_open_tape, filechooserdialog_rescue and
// filechooserdialog_save_clean_tap, each with its OK button as
// button_NAME_ok (button_save_program_ok, ...).
GtkWidget *create_filechooserdialog_save_program(void);
GtkWidget *create_filechooserdialog_save_all_programs(void);
GtkWidget *create_filechooserdialog_open_tape(void);
GtkWidget *create_filechooserdialog_rescue(void);
GtkWidget *create_filechooserdialog_save_clean_tap(void);
