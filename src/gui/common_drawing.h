// Drawing routines for the plot and the activity light. Each image is an RGB
// pixbuf with 8 bits per sample and no alpha channel. Interface thread only.
#pragma once

#include <gtk/gtk.h>

// Sets every pixel of every row to black.
void common_erase_pixbuf(GdkPixbuf *pixbuf);

// Draws the three reference bands into every row (blue component 80, the
// other components left as they are).
void common_draw_reference_bands_in_pixbuf(GdkPixbuf *pixbuf);

// Draws the bands into one row of width RGB pixels.
void common_draw_reference_bands_in_pixel_data(guchar *data, int width);

// Sets every pixel of every row to the colour (red, green, blue).
void common_fill_pixbuf(GdkPixbuf *pixbuf, guchar red, guchar green, guchar blue);

// Paints the exposed area of widget's window from pixbuf, placed at (0, 0).
void common_paint_pixbuf(GtkWidget *widget, GdkEventExpose *event, GdkPixbuf *pixbuf);
