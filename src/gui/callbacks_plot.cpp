#include "callbacks_plot.h"

#include "common_drawing.h"
#include "plot.h"

static GdkPixbuf *pixbuf;
static GtkWidget *drawingarea;

static void release_image(void)
{
    plot_forget_image();
    if (pixbuf) {
        g_object_unref(pixbuf);
        pixbuf = nullptr;
    }
}

// The drawing area goes only with its window (at the end, or between tests).
static void forget_drawingarea(GtkWidget *, gpointer)
{
    release_image();
    drawingarea = nullptr;
}

// Copies the newest rows of the old image to the bottom-left of the new one:
// growing adds banded rows above and columns at the right, shrinking drops
// the oldest rows and the rightmost columns.
static void carry_over_newest_rows(GdkPixbuf *from, GdkPixbuf *to)
{
    int old_width = gdk_pixbuf_get_width(from), old_height = gdk_pixbuf_get_height(from);
    int width = gdk_pixbuf_get_width(to), height = gdk_pixbuf_get_height(to);
    int columns = MIN(width, old_width), rows = MIN(height, old_height);
    gdk_pixbuf_copy_area(from, 0, old_height - rows, columns, rows, to, 0, height - rows);
}

gboolean on_drawingarea_main_configure_event(GtkWidget *widget, GdkEventConfigure *, gpointer)
{
    int width = widget->allocation.width;
    int height = widget->allocation.height;
    GdkPixbuf *image = width > 0 && height > 0 ? gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height) : nullptr;
    if (!image) {
        release_image();
        return FALSE;
    }
    common_erase_pixbuf(image);
    common_draw_reference_bands_in_pixbuf(image);
    if (pixbuf)
        carry_over_newest_rows(pixbuf, image);
    if (!plot_set_image(width, height, gdk_pixbuf_get_pixels(image), gdk_pixbuf_get_rowstride(image))) {
        g_object_unref(image);
        release_image();
        return FALSE;
    }
    if (pixbuf)
        g_object_unref(pixbuf);
    pixbuf = image;
    if (drawingarea != widget) {
        drawingarea = widget;
        g_signal_connect(widget, "destroy", G_CALLBACK(forget_drawingarea), nullptr);
    }
    return TRUE;
}

gboolean on_drawingarea_main_expose_event(GtkWidget *widget, GdkEventExpose *event, gpointer)
{
    if (!pixbuf)
        return FALSE;
    common_paint_pixbuf(widget, event, pixbuf);
    return TRUE;
}

gboolean idle_copy_row_to_drawingarea_and_free(gpointer row)
{
    // Without an image the row is dropped: the size record no longer points
    // at live pixels.
    if (pixbuf && plot_copy_row_to_image(static_cast<const unsigned char *>(row)) && drawingarea &&
        gtk_widget_get_window(drawingarea))
        gdk_window_scroll(gtk_widget_get_window(drawingarea), 0, -1);
    g_free(row);
    return FALSE;
}

void plot_clear(void)
{
    if (!pixbuf)
        return;
    common_erase_pixbuf(pixbuf);
    common_draw_reference_bands_in_pixbuf(pixbuf);
    if (drawingarea)
        gtk_widget_queue_draw(drawingarea);
}

GdkPixbuf *callbacks_plot_image(void)
{
    return pixbuf;
}
