// Pieces the window builders (interface*.cpp) share. Interface thread only.
#pragma once

#include <gtk/gtk.h>

#include <initializer_list>

// A shown stock button in a dialog's action area that may become the default.
GtkWidget *interface_add_dialog_button(GtkWidget *dialog, const char *stock_id, gint response);

// A widget and the name its window registers it under.
struct interface_named_widget {
    GtkWidget *widget;
    const char *name;
};

// Registers every widget on window under its name (support_register_widget).
void interface_register_widgets(GtkWidget *window, std::initializer_list<interface_named_widget> widgets);

