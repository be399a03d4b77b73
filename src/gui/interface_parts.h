// Pieces the window builders (interface*.cpp) share. Interface thread only.
#pragma once

#include <gtk/gtk.h>

// A shown stock button in a dialog's action area that may become the default.
GtkWidget *interface_add_dialog_button(GtkWidget *dialog, const char *stock_id, gint response);
