#include "callbacks_frame.h"

#include "callbacks_plot.h"
#include "capture_worker.h"
#include "handoff_frame.h"

// A screen shows about 60 frames a second.
static const guint frame_interval_ms = 17;

static guint frame_clock;  // the clock's timeout source; 0 while it rests

// Shows what waits; returns whether there was anything.
static bool show_waiting(void)
{
    bool rows = callbacks_plot_show_waiting_rows() > 0;
    bool light = capture_worker_show_light() != 0;
    return rows || light;
}

static gboolean frame_tick(gpointer)
{
    if (show_waiting())
        return TRUE;
    handoff_frame_rest();
    if (show_waiting())
        return TRUE;
    frame_clock = 0;
    return FALSE;
}

void callbacks_frame_install(void)
{
    handoff_frame_set_callback(idle_show_frame);
}

gboolean idle_show_frame(gpointer)
{
    show_waiting();
    if (!frame_clock)
        frame_clock = gdk_threads_add_timeout(frame_interval_ms, frame_tick, nullptr);
    return FALSE;
}
