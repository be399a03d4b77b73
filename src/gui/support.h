// The widget registry: every window builder registers each named widget on
// its top-level window (object data keyed by the widget's name), and handlers
// find widgets with lookup_widget instead of keeping pointers.
//
// Interface thread only.
#pragma once

#include <gtk/gtk.h>

// Returns the widget registered under `widget_name` on the top-level window
// that `widget` belongs to (any widget of the window, or the window itself).
// A name that is not registered there logs the warning "Widget not found: %s"
// and returns null.
GtkWidget *lookup_widget(GtkWidget *widget, const gchar *widget_name);

// Registers `widget` on `toplevel` under `name`, holding one reference that
// is released when the top-level goes away, so the widget stays valid for as
// long as its window even when it is taken out of its container.
void support_register_widget(GtkWidget *toplevel, GtkWidget *widget, const gchar *name);

// Registers an object that the top-level already owns (the top-level itself,
// a dialog's content box or action area) without taking a reference.
void support_register_object_no_ref(GtkWidget *toplevel, gpointer object, const gchar *name);
