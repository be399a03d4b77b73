// The pulse plot's image on the main loop: its creation on every size change,
// painting, rows scrolled in from the capture worker, and clearing.
// The row builder on the worker's side is plot.h. Interface thread only.
#pragma once

#include <gtk/gtk.h>

// "configure_event" of drawingarea_main: makes a new image for the widget's
// allocated size, black with the reference bands, carrying over the newest
// rows of the previous image at the bottom; tells the row builder the new
// size. Returns TRUE, or FALSE when the image could not be made (the plot
// then has no image and drops rows until a later size change succeeds).
gboolean on_drawingarea_main_configure_event(GtkWidget *widget, GdkEventConfigure *event, gpointer user_data);

// "expose_event" of drawingarea_main: paints the exposed area from the image.
// Returns FALSE while there is no image.
gboolean on_drawingarea_main_expose_event(GtkWidget *widget, GdkEventExpose *event, gpointer user_data);

// Idle callback for a finished row (PLOT_ROW_BYTES bytes from g_malloc): moves
// the image up by one row, copies the row into the bottom line, scrolls the
// drawing area, frees the row. Returns FALSE (runs once).
gboolean idle_copy_row_to_drawingarea_and_free(gpointer row);

// Moves every row that waits in the row builder's store into the image (see
// plot_show_waiting_rows), moves the picture on screen up once by their count
// and paints them below it. Returns that count (0 while there is no image:
// the rows are dropped).
int callbacks_plot_show_waiting_rows(void);

// Rows the picture shows (0 while there is no image).
int callbacks_plot_picture_height(void);

// Clears the image to black with the bands and asks for a redraw. Called by
// the Preview and Dump start handlers before a capture starts.
void plot_clear(void);

// The picture as shown (a view into the image, which the caller unrefs), or
// null while there is no image; for tests that look at its pixels.
GdkPixbuf *callbacks_plot_picture(void);
