// Placeholder: minimal handlers so that the main window is wired; this file
// is replaced whole by the capture work.
#include "callbacks_plot.h"

gboolean on_drawingarea_main_configure_event(GtkWidget *, GdkEventConfigure *, gpointer)
{
    return FALSE;
}

gboolean on_drawingarea_main_expose_event(GtkWidget *, GdkEventExpose *, gpointer)
{
    return FALSE;
}
