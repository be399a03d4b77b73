#include "callbacks_clock.h"

#include "capture_progress.h"
#include "main.h"
#include "support.h"
#include "tape_time.h"
#include "translate.h"

#include <gtk/gtk.h>

// Often enough for a clock that shows seconds; rare enough to cost the
// interface nothing.
static const guint update_interval_ms = 250;

static guint update_source;
static int showing_size;

static void show_progress(void)
{
    guint64 ticks = 0;
    guint64 bytes = 0;
    capture_progress_read(&ticks, &bytes);
    gchar *time = tape_time_text(ticks);
    gchar *text = time;
    if (showing_size) {
        gchar *size = g_format_size(bytes);
        text = g_strdup_printf(_("%s · %s"), time, size);
        g_free(size);
        g_free(time);
    }
    gtk_label_set_text(GTK_LABEL(lookup_widget(window_main, "label_main_tape_clock")), text);
    g_free(text);
}

static gboolean on_update(gpointer)
{
    show_progress();
    return TRUE;
}

void callbacks_clock_start(int dump)
{
    if (update_source)
        g_source_remove(update_source);
    showing_size = dump;
    gtk_label_set_text(GTK_LABEL(lookup_widget(window_main, "label_main_tape_clock")), "");
    update_source = g_timeout_add(update_interval_ms, on_update, nullptr);
}

void callbacks_clock_stop(void)
{
    if (!update_source)
        return;
    g_source_remove(update_source);
    update_source = 0;
    show_progress();
}
