// Hand-overs that may be dropped when the interface thread falls behind.
//
// A capture fed faster than real time (a simulated device sending flat out)
// finishes plot rows and switches the light far faster than a main loop can
// draw them; queued without limit they would pile up in memory. A lane counts
// its hand-overs that have not run yet and drops new ones beyond its limit.
// A real device, which sends at tape speed, never comes near the limits.
#pragma once

#include <glib.h>

#include <atomic>

struct handoff_lane {
    std::atomic<GSourceFunc> callback;  // runs on the interface thread with the data
    int limit;                          // hand-overs allowed to wait at once
    std::atomic<int> waiting{0};        // posted and not yet run
};

// Queues lane->callback(data) through handoff_post unless `limit` hand-overs
// of this lane are still waiting or the lane has no callback. Returns 1 when
// queued, 0 when dropped (the caller still owns data). Never blocks. Any
// thread.
int handoff_lane_post(handoff_lane *lane, gpointer data);
