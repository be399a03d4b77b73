// Hand-overs paced by the display's frames.
//
// At the link's full rate a capture finishes plot rows and switches the
// activity light hundreds of times a second, far more often than a screen
// shows a new picture (about 60 times). Such results wait where the worker
// leaves them (the plot's row store, the light's state) and the worker calls
// handoff_frame_wake(); the interface shows all that waits at once, at most
// once per frame, from a frame clock of its own.
//
// Only the first result after a quiet spell costs a hand-over: it queues the
// frame callback, which shows what waits and starts the clock. While the
// clock runs, each tick finds later results by itself; a tick that finds
// nothing lets the clock rest, and the next result queues the callback again.
// A front end without a frame callback takes the results when it pleases.
#pragma once

#include <glib.h>

// Installs the frame callback (nullptr: none), queued through handoff_post
// with no data. Interface thread, before any worker runs.
void handoff_frame_set_callback(GSourceFunc frame);

// A result waits: queues the frame callback unless the clock runs or the
// callback is queued already. Worker thread; never blocks.
void handoff_frame_wake(void);

// Queues the frame callback whatever the clock does, so that every result
// left so far is shown before anything that this thread queues afterwards
// (the end of a capture). Worker thread; never blocks.
void handoff_frame_flush(void);

// A tick of the clock found nothing: the clock rests, and the next result
// queues the frame callback again. A result left just before this call
// queued nothing, so the caller looks once more after it (and ticks on if it
// found something). Interface thread.
void handoff_frame_rest(void);
