// The dialog that names a dump file. Interface thread only.
#pragma once

#include <gtk/gtk.h>

// Runs the save dialog modally (kept above other windows when keep_above is
// non-zero), opening in the folder of the last confirmed choice: of this run,
// else of an earlier one (kept in the settings file), else the working
// folder. Returns 1
// when the user confirmed a name: *path then receives a new path (file-name
// encoding, freed with g_free) that ends with ".DMP" in any case — ".DMP" is
// added to any other name (dmp.h). Returns 0 when the dialog was cancelled or closed;
// *path is then not written and the remembered folder is unchanged. Blocks in
// a nested main loop until the user answers.
//
// One question names every file the dump would replace: the dump (the name
// with ".DMP" added where it had no ending), and when the dialog's "Also
// write a TAP image for emulators" box is ticked the TAP image beside it and
// the image's index. It is asked once: by the chooser when the name as
// confirmed exists (nothing is asked when none of those files does), else
// after the chooser closed. No returns to the chooser. The box starts as the setting has it; a confirmed choice
// stores it and the folder in the settings (and saves them when either
// changed).
int fileopen_save_dmp_file(gchar **path, int keep_above);

// "confirm-overwrite" of the save dialog: asks whether to replace the files
// the dump would replace, as above (user data 2: the question stays on top). Returns
// GTK_FILE_CHOOSER_CONFIRMATION_ACCEPT_FILENAME on Yes, else
// GTK_FILE_CHOOSER_CONFIRMATION_SELECT_AGAIN (the chooser stays open).
GtkFileChooserConfirmation confirm_overwrite_callback(GtkFileChooser *chooser, gpointer data);
