#include "callbacks_clock.h"

#include "link/capture_progress.h"
#include "main.h"
#include "support.h"
#include "tape/tape_time.h"
#include "translate.h"

#include <gtk/gtk.h>

// Often enough for a clock that shows seconds; rare enough to cost the
// interface nothing.
static const guint update_interval_ms = 250;

static guint update_source;
static int showing_size;
// The clock's label while it runs; a weak pointer, cleared should the main
// window go first (a quit during a capture).
static GtkWidget *clock_label;

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
    gtk_label_set_text(GTK_LABEL(clock_label), text);
    g_free(text);
}

static gboolean on_update(gpointer)
{
    if (!clock_label) {
        update_source = 0;
        return FALSE;
    }
    show_progress();
    return TRUE;
}

static void forget_label(void)
{
    if (clock_label)
        g_object_remove_weak_pointer(G_OBJECT(clock_label), reinterpret_cast<gpointer *>(&clock_label));
    clock_label = nullptr;
}

void callbacks_clock_start(int dump)
{
    if (update_source)
        g_source_remove(update_source);
    forget_label();
    clock_label = lookup_widget(window_main, "label_main_tape_clock");
    g_object_add_weak_pointer(G_OBJECT(clock_label), reinterpret_cast<gpointer *>(&clock_label));
    showing_size = dump;
    gtk_label_set_text(GTK_LABEL(clock_label), "");
    update_source = g_timeout_add(update_interval_ms, on_update, nullptr);
}

void callbacks_clock_stop(void)
{
    if (update_source)
        g_source_remove(update_source);
    update_source = 0;
    if (clock_label)
        show_progress();
    forget_label();
}
