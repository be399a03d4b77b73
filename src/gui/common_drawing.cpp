#include "common_drawing.h"

#include "link/plot.h"

#include <string.h>

// The last row of a pixbuf may be shorter than the row stride.
static void for_each_row(GdkPixbuf *pixbuf, void (*draw)(guchar *row, int width, const guchar *colour), const guchar *colour)
{
    int width = gdk_pixbuf_get_width(pixbuf);
    int height = gdk_pixbuf_get_height(pixbuf);
    int rowstride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar *pixels = gdk_pixbuf_get_pixels(pixbuf);
    for (int y = 0; y < height; y++)
        draw(pixels + (size_t)y * rowstride, width, colour);
}

static void fill_row(guchar *row, int width, const guchar *colour)
{
    for (int x = 0; x < width; x++)
        memcpy(row + 3 * x, colour, 3);
}

static void band_row(guchar *row, int width, const guchar *)
{
    plot_draw_reference_bands(row, width);
}

void common_erase_pixbuf(GdkPixbuf *pixbuf)
{
    common_fill_pixbuf(pixbuf, 0, 0, 0);
}

void common_draw_reference_bands_in_pixbuf(GdkPixbuf *pixbuf)
{
    for_each_row(pixbuf, band_row, nullptr);
}

void common_draw_reference_bands_in_pixel_data(guchar *data, int width)
{
    plot_draw_reference_bands(data, width);
}

void common_fill_pixbuf(GdkPixbuf *pixbuf, guchar red, guchar green, guchar blue)
{
    const guchar colour[3] = {red, green, blue};
    for_each_row(pixbuf, fill_row, colour);
}

void common_paint_pixbuf(GtkWidget *widget, GdkEventExpose *event, GdkPixbuf *pixbuf)
{
    // Only the exposed part of the image is handed to cairo, which copies its
    // source: a new plot row exposes one line, not the whole picture.
    GdkRectangle image = {0, 0, gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf)};
    GdkRectangle area;
    if (!gdk_rectangle_intersect(&event->area, &image, &area))
        return;
    GdkPixbuf *part = gdk_pixbuf_new_subpixbuf(pixbuf, area.x, area.y, area.width, area.height);
    cairo_t *cairo = gdk_cairo_create(gtk_widget_get_window(widget));
    gdk_cairo_set_source_pixbuf(cairo, part, area.x, area.y);
    gdk_cairo_rectangle(cairo, &area);
    cairo_fill(cairo);
    cairo_destroy(cairo);
    g_object_unref(part);
}
