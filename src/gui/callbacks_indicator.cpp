#include "callbacks_indicator.h"

#include "common_drawing.h"

static GdkPixbuf *pixbuf_flash_black;
static GdkPixbuf *pixbuf_flash_red;
static GdkPixbuf *pixbuf_flash;  // one of the two above, or null
static GtkWidget *drawingarea_flash;

// The light goes only with its window (at the end, or between tests); a new
// one makes its own images.
static void forget_drawingarea_flash(GtkWidget *, gpointer)
{
    pixbuf_flash = nullptr;
    drawingarea_flash = nullptr;
    g_clear_object(&pixbuf_flash_black);
    g_clear_object(&pixbuf_flash_red);
}

gboolean on_drawingarea_flash_configure_event(GtkWidget *widget, GdkEventConfigure *, gpointer)
{
    if (pixbuf_flash)
        return FALSE;
    int width = widget->allocation.width;
    int height = widget->allocation.height;
    if (width <= 0 || height <= 0)
        return FALSE;
    if (!pixbuf_flash_black) {
        pixbuf_flash_black = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
        if (!pixbuf_flash_black)
            return FALSE;
        common_erase_pixbuf(pixbuf_flash_black);
    }
    if (!pixbuf_flash_red) {
        pixbuf_flash_red = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
        if (!pixbuf_flash_red)
            return FALSE;
        common_fill_pixbuf(pixbuf_flash_red, 255, 0, 0);
    }
    drawingarea_flash = widget;
    g_signal_connect(widget, "destroy", G_CALLBACK(forget_drawingarea_flash), nullptr);
    // Each expose paints the whole light, opaque; no off-screen buffer needed.
    gtk_widget_set_double_buffered(widget, FALSE);
    pixbuf_flash = pixbuf_flash_black;
    return TRUE;
}

gboolean on_drawingarea_flash_expose_event(GtkWidget *widget, GdkEventExpose *event, gpointer)
{
    if (!pixbuf_flash)
        return FALSE;
    common_paint_pixbuf(widget, event, pixbuf_flash);
    return TRUE;
}

// The light changes up to 30 times a second during a fast stream; painting it
// straight into its window spares each change a round of GTK+'s redrawing.
// A window not shown now gets the light from its expose.
static void show(GdkPixbuf *image)
{
    if (!pixbuf_flash)
        return;
    pixbuf_flash = image;
    GdkWindow *window = gtk_widget_get_window(drawingarea_flash);
    if (window && gdk_window_is_viewable(window))
        gdk_draw_pixbuf(window, nullptr, image, 0, 0, 0, 0, -1, -1, GDK_RGB_DITHER_NONE, 0, 0);
}

gboolean idle_led_on(gpointer)
{
    show(pixbuf_flash_red);
    return FALSE;
}

gboolean idle_led_off(gpointer)
{
    show(pixbuf_flash_black);
    return FALSE;
}

int callbacks_indicator_state(void)
{
    if (!pixbuf_flash)
        return -1;
    return pixbuf_flash == pixbuf_flash_red ? 1 : 0;
}
