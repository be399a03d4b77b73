#include "callbacks_plot.h"

#include "common_drawing.h"
#include "plot.h"

// The plot image lives in a store twice the drawing area's height: the
// picture is the area's height of rows from plot_image_top() on, and a new
// row goes into the spare row below it, so the picture moves only once every
// so many rows (see plot_set_image).
static GdkPixbuf *pixbuf;
static GtkWidget *drawingarea;
static GdkGC *copy_gc;  // moves the picture within the drawing area's window
static int image_width, image_height;

static const int store_rows_per_picture_row = 2;

static void release_image(void)
{
    plot_forget_image();
    if (pixbuf) {
        g_object_unref(pixbuf);
        pixbuf = nullptr;
    }
}

// The picture as it is shown: a view into the store (the caller unrefs it).
static GdkPixbuf *picture(void)
{
    return gdk_pixbuf_new_subpixbuf(pixbuf, 0, plot_image_top(), image_width, image_height);
}

// The drawing area goes only with its window (at the end, or between tests).
static void forget_drawingarea(GtkWidget *, gpointer)
{
    release_image();
    drawingarea = nullptr;
    g_clear_object(&copy_gc);
}

// Copies the newest rows of the old picture to the bottom-left of the new
// one: growing adds banded rows above and columns at the right, shrinking
// drops the oldest rows and the rightmost columns.
static void carry_over_newest_rows(GdkPixbuf *from, int width, int height)
{
    int old_width = gdk_pixbuf_get_width(from), old_height = gdk_pixbuf_get_height(from);
    int columns = MIN(width, old_width), rows = MIN(height, old_height);
    gdk_pixbuf_copy_area(from, 0, old_height - rows, columns, rows, pixbuf, 0, height - rows);
}

gboolean on_drawingarea_main_configure_event(GtkWidget *widget, GdkEventConfigure *, gpointer)
{
    int width = widget->allocation.width;
    int height = widget->allocation.height;
    GdkPixbuf *old_picture = pixbuf ? picture() : nullptr;
    release_image();
    GdkPixbuf *store = nullptr;
    if (width > 0 && height > 0 && height <= G_MAXINT / store_rows_per_picture_row)
        store = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height * store_rows_per_picture_row);
    if (!store) {
        if (old_picture)
            g_object_unref(old_picture);
        return FALSE;
    }
    common_erase_pixbuf(store);
    common_draw_reference_bands_in_pixbuf(store);
    pixbuf = store;
    image_width = width;
    image_height = height;
    if (old_picture) {
        carry_over_newest_rows(old_picture, width, height);
        g_object_unref(old_picture);
    }
    if (!plot_set_image(width, height, height * store_rows_per_picture_row, gdk_pixbuf_get_pixels(store),
                        gdk_pixbuf_get_rowstride(store))) {
        release_image();
        return FALSE;
    }
    if (drawingarea != widget) {
        drawingarea = widget;
        g_signal_connect(widget, "destroy", G_CALLBACK(forget_drawingarea), nullptr);
        // Every expose paints its whole area from the image, opaque: an
        // off-screen buffer per expose (one per plot row) would buy nothing.
        gtk_widget_set_double_buffered(widget, FALSE);
    }
    return TRUE;
}

gboolean on_drawingarea_main_expose_event(GtkWidget *widget, GdkEventExpose *event, gpointer)
{
    if (!pixbuf)
        return FALSE;
    GdkPixbuf *shown = picture();
    common_paint_pixbuf(widget, event, shown);
    g_object_unref(shown);
    return TRUE;
}

// The pixels on screen move up with the picture; the uncovered bottom lines
// are painted from the image by the next expose.
static void scroll_drawingarea(int rows)
{
    if (drawingarea && gtk_widget_get_window(drawingarea))
        gdk_window_scroll(gtk_widget_get_window(drawingarea), 0, -rows);
}

gboolean idle_copy_row_to_drawingarea_and_free(gpointer row)
{
    // Without an image the row is dropped.
    if (pixbuf && plot_copy_row_to_image(static_cast<const unsigned char *>(row)))
        scroll_drawingarea(1);
    g_free(row);
    return FALSE;
}

// Moves the picture on screen up by `rows` and paints the rows that came in
// below it, at once. Painting here rather than through an expose spares each
// frame a round of GTK+'s redrawing, which costs more than the rows.
static void draw_new_rows(int rows)
{
    GdkWindow *window = drawingarea ? gtk_widget_get_window(drawingarea) : nullptr;
    if (!window || !gdk_window_is_viewable(window))
        return;  // the expose that shows it paints the picture then
    // A part still waiting for its expose is painted first, so that only
    // pixels that show the picture are moved.
    gdk_window_process_updates(window, FALSE);
    if (!copy_gc) {
        // Parts it cannot copy (covered by another window) come back as
        // exposes, which paint them from the image.
        copy_gc = gdk_gc_new(window);
        gdk_gc_set_exposures(copy_gc, TRUE);
    }
    int moved = MIN(rows, image_height);
    if (moved < image_height)
        gdk_draw_drawable(window, copy_gc, window, 0, moved, 0, 0, image_width, image_height - moved);
    gdk_draw_pixbuf(window, copy_gc, pixbuf, 0, plot_image_top() + image_height - moved, 0, image_height - moved,
                    image_width, moved, GDK_RGB_DITHER_NONE, 0, 0);
}

int callbacks_plot_show_waiting_rows(void)
{
    int rows = plot_show_waiting_rows();
    if (rows)
        draw_new_rows(rows);
    return rows;
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

GdkPixbuf *callbacks_plot_picture(void)
{
    return pixbuf ? picture() : nullptr;
}
