// Placeholder: minimal handlers so that the main window is wired; this file
// is replaced whole by the capture work.
//
// The activity indicator's drawing area.
#pragma once

#include <gtk/gtk.h>

gboolean on_drawingarea_flash_configure_event(GtkWidget *widget, GdkEventConfigure *event, gpointer user_data);
gboolean on_drawingarea_flash_expose_event(GtkWidget *widget, GdkEventExpose *event, gpointer user_data);
