#include "callbacks_health.h"

#include "link/capture_progress.h"
#include "main.h"
#include "support.h"
#include "translate.h"

#include <algorithm>

// Often enough to follow a screw being turned; rare enough to be read.
static const gint64 update_interval_us = 250000;
// The spread that fills the gauge: beyond it a ROM-loader tape is red at any
// speed.
static const double full_gauge_percent = 5.0;

static tape_health_figures shown;
static gint64 shown_at_us;

static GtkWidget *main_widget(const char *name)
{
    return lookup_widget(window_main, name);
}

gchar *callbacks_health_text(const tape_health_figures *figures)
{
    if (figures->pulses == 0)
        return g_strdup("");
    const double speed = tape_health_shown_percent(figures->speed_percent);
    gchar *speed_text = g_strdup_printf(speed == 0 ? "%.1f" : "%+.1f", speed);
    gchar *spread_text = g_strdup_printf("%.1f", tape_health_shown_percent(figures->spread_percent));
    gchar *text = g_strdup_printf(_("speed %s %% · spread %s %%"), speed_text, spread_text);
    g_free(speed_text);
    g_free(spread_text);
    return text;
}

static void show(const tape_health_figures *figures)
{
    // A frame can come after the main window has gone (the tests' teardown
    // destroys the windows while the frame clock still ticks).
    if (!window_main)
        return;
    shown = *figures;
    shown_at_us = g_get_monotonic_time();
    gchar *text = callbacks_health_text(figures);
    gtk_label_set_text(GTK_LABEL(main_widget("label_main_tape_health")), text);
    g_free(text);
    gtk_widget_queue_draw(main_widget("drawingarea_main_tape_health"));
}

void callbacks_health_start(void)
{
    const tape_health_figures none{};
    show(&none);
}

void callbacks_health_show_due(void)
{
    if (g_get_monotonic_time() - shown_at_us < update_interval_us)
        return;
    tape_health_figures figures;
    capture_progress_health(&figures);
    if (figures.pulses != 0)
        show(&figures);
}

void callbacks_health_stop(void)
{
    tape_health_figures figures;
    capture_progress_health(&figures);
    if (figures.pulses != 0)
        show(&figures);
}

gboolean on_drawingarea_main_tape_health_expose_event(GtkWidget *widget, GdkEventExpose *, gpointer)
{
    if (shown.pulses == 0)
        return FALSE;
    static const double colours[][3] = {
        {0.15, 0.70, 0.15},  // tape_health_green
        {0.90, 0.75, 0.05},  // tape_health_yellow
        {0.85, 0.10, 0.05},  // tape_health_red
    };
    const double *colour = colours[tape_health_colour_of(&shown)];
    const double width = widget->allocation.width;
    const double height = widget->allocation.height;
    cairo_t *cairo = gdk_cairo_create(gtk_widget_get_window(widget));
    // The trough, then the bar inside it.
    cairo_set_source_rgb(cairo, 0.35, 0.35, 0.35);
    cairo_rectangle(cairo, 0.5, 0.5, width - 1, height - 1);
    cairo_stroke(cairo);
    const double filled = std::clamp(double(shown.spread_percent) / full_gauge_percent, 0.0, 1.0);
    cairo_set_source_rgb(cairo, colour[0], colour[1], colour[2]);
    cairo_rectangle(cairo, 1, 1, std::max(1.0, filled * (width - 2)), height - 2);
    cairo_fill(cairo);
    cairo_destroy(cairo);
    return TRUE;
}
