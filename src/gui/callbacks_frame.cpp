#include "callbacks_frame.h"

#include "callbacks_health.h"
#include "callbacks_plot.h"
#include "link/capture_worker.h"
#include "link/handoff_frame.h"

// A screen shows about 60 frames a second.
static const guint frame_interval_ms = 17;
// A frame that brings a whole picture of new rows shows a blur at any frame
// rate; while frames do that, they come at a quarter of the pace and leave
// the time to the capture.
static const guint blur_frame_interval_ms = 4 * frame_interval_ms;

static guint frame_clock;  // the clock's timeout source; 0 while it rests
static guint frame_clock_interval;

enum class frame_shown { nothing, something, blur };

static frame_shown show_waiting(void)
{
    int rows = callbacks_plot_show_waiting_rows();
    bool light = capture_worker_show_light() != 0;
    callbacks_health_show_due();
    if (rows > 0 && rows >= callbacks_plot_picture_height())
        return frame_shown::blur;
    return rows > 0 || light ? frame_shown::something : frame_shown::nothing;
}

static gboolean frame_tick(gpointer);

// Makes the clock tick every `interval` ms from now; true when it already did.
static bool run_clock(guint interval)
{
    if (frame_clock && frame_clock_interval == interval)
        return true;
    frame_clock = gdk_threads_add_timeout(interval, frame_tick, nullptr);
    frame_clock_interval = interval;
    return false;
}

static gboolean frame_tick(gpointer)
{
    frame_shown shown = show_waiting();
    if (shown == frame_shown::nothing) {
        handoff_frame_rest();
        shown = show_waiting();
    }
    if (shown == frame_shown::nothing) {
        frame_clock = 0;
        return FALSE;
    }
    // A clock with another pace replaces this one.
    return run_clock(shown == frame_shown::blur ? blur_frame_interval_ms : frame_interval_ms);
}

void callbacks_frame_install(void)
{
    handoff_frame_set_callback(idle_show_frame);
}

gboolean idle_show_frame(gpointer)
{
    show_waiting();
    if (!frame_clock)
        run_clock(frame_interval_ms);
    return FALSE;
}
