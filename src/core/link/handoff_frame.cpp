#include "link/handoff_frame.h"

#include "link/handoff.h"

#include <atomic>

static std::atomic<GSourceFunc> frame_callback{nullptr};
// The clock runs or its start is queued: results need no hand-over. The
// worker leaves its result before it reads this and the interface clears it
// before it looks again, so a result is either seen by that look or queues a
// start (both sides use sequentially consistent operations).
static std::atomic<bool> clock_awake{false};

void handoff_frame_set_callback(GSourceFunc frame)
{
    frame_callback.store(frame);
    clock_awake.store(false);
}

static void post_frame(void)
{
    GSourceFunc frame = frame_callback.load();
    if (frame)
        handoff_post(frame, nullptr);
}

void handoff_frame_wake(void)
{
    // A plain read first: while the clock runs, a result costs no locked
    // instruction. Without a callback there is no clock to wake.
    if (!clock_awake.load() && frame_callback.load() && !clock_awake.exchange(true))
        post_frame();
}

void handoff_frame_flush(void)
{
    clock_awake.store(true);
    post_frame();
}

void handoff_frame_rest(void)
{
    clock_awake.store(false);
}
