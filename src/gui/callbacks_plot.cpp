#include "callbacks_plot.h"

#include "common_drawing.h"
#include "link/plot.h"

// The plot image lives in a store twice the drawing area's height: the
// picture is the area's height of rows from plot_image_top() on, and a new
// row goes into the spare row below it, so the picture moves only once every
// so many rows (see plot_set_image).
static GdkPixbuf *pixbuf;
static GtkWidget *drawingarea;
static GdkGC *copy_gc;  // moves the picture within the drawing area's window
// How much of the main window other windows (or the screen's edges) cover,
// as the X server last told; partly until it tells.
static GdkVisibilityState visibility = GDK_VISIBILITY_PARTIAL;
// New rows in the window's own pixel format, up to row_image_rows at a time,
// on the usual visuals (see can_convert_rows); null elsewhere.
static GdkImage *row_image;
static const int row_image_rows = 64;  // a frame at the link's full rate brings about 16
static int image_width, image_height;

static const int store_rows_per_picture_row = 2;

static void release_image(void)
{
    plot_forget_image();
    g_clear_object(&row_image);
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
    visibility = GDK_VISIBILITY_PARTIAL;
}

static gboolean note_visibility(GtkWidget *, GdkEventVisibility *event, gpointer area)
{
    // A copy made while the state was changing may have moved pixels that
    // were covered; painting the whole picture once puts that right.
    if (event->state != visibility)
        gtk_widget_queue_draw(GTK_WIDGET(area));
    visibility = event->state;
    return FALSE;
}

// The drawing area's window is drawn by GDK inside its top-level window, the
// one the X server reports on.
static void watch_visibility(GtkWidget *area)
{
    GtkWidget *top = gtk_widget_get_toplevel(area);
    GdkWindow *window = gtk_widget_get_window(top);
    if (!gtk_widget_is_toplevel(top) || !window)
        return;
    gdk_window_set_events(window, GdkEventMask(gdk_window_get_events(window) | GDK_VISIBILITY_NOTIFY_MASK));
    g_signal_connect_object(top, "visibility-notify-event", G_CALLBACK(note_visibility), area, GConnectFlags(0));
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
        watch_visibility(widget);
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

// True colour with 8 bits a component in 32-bit pixels: what X servers offer
// almost everywhere, and what the rows are converted to by hand.
static bool can_convert_rows(const GdkImage *image)
{
    const GdkVisual *visual = image->visual;
    return visual->type == GDK_VISUAL_TRUE_COLOR && image->bpp == 4 && visual->red_prec == 8 &&
           visual->green_prec == 8 && visual->blue_prec == 8;
}

// Paints `rows` rows of the store from `from_row` on at `to_y` in the window.
// GdkRGB, which gdk_draw_pixbuf uses, converts through shared-memory images
// that it must wait for the X server to finish with; a plain image of our own
// goes out with the request and is free again at once.
static void paint_rows(GdkWindow *window, int from_row, int to_y, int rows)
{
    if (!row_image) {
        row_image =
            gdk_image_new(GDK_IMAGE_NORMAL, gdk_drawable_get_visual(window), image_width, row_image_rows);
        if (row_image && !can_convert_rows(row_image))
            g_clear_object(&row_image);
    }
    if (!row_image) {
        gdk_draw_pixbuf(window, copy_gc, pixbuf, 0, from_row, 0, to_y, image_width, rows, GDK_RGB_DITHER_NONE, 0, 0);
        return;
    }
    const GdkVisual *visual = row_image->visual;
    const bool swap = row_image->byte_order != (G_BYTE_ORDER == G_LITTLE_ENDIAN ? GDK_LSB_FIRST : GDK_MSB_FIRST);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int done = 0; done < rows; done += row_image_rows) {
        const int part = MIN(rows - done, row_image_rows);
        for (int y = 0; y < part; y++) {
            const guchar *in = gdk_pixbuf_get_pixels(pixbuf) + size_t(from_row + done + y) * stride;
            auto *out =
                reinterpret_cast<guint32 *>(static_cast<guchar *>(row_image->mem) + size_t(y) * row_image->bpl);
            for (int x = 0; x < image_width; x++, in += 3) {
                guint32 pixel = guint32(in[0]) << visual->red_shift | guint32(in[1]) << visual->green_shift |
                                guint32(in[2]) << visual->blue_shift;
                out[x] = swap ? GUINT32_SWAP_LE_BE(pixel) : pixel;
            }
        }
        gdk_draw_image(window, copy_gc, row_image, 0, 0, 0, to_y + done, image_width, part);
    }
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
    if (!copy_gc)
        copy_gc = gdk_gc_new(window);
    // Parts it cannot copy (covered by another window) come back as exposes,
    // which paint them from the image. A window in full view has no such
    // parts, and then the X server's answer to each copy is spared.
    gdk_gc_set_exposures(copy_gc, visibility != GDK_VISIBILITY_UNOBSCURED);
    int moved = MIN(rows, image_height);
    if (moved < image_height)
        gdk_draw_drawable(window, copy_gc, window, 0, moved, 0, 0, image_width, image_height - moved);
    paint_rows(window, plot_image_top() + image_height - moved, image_height - moved, moved);
}

int callbacks_plot_show_waiting_rows(void)
{
    int rows = plot_show_waiting_rows();
    if (rows)
        draw_new_rows(rows);
    return rows;
}

int callbacks_plot_picture_height(void)
{
    return pixbuf ? image_height : 0;
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
