// The interface's frame clock. The capture worker leaves finished plot rows
// and the light's switches for the next frame (handoff_frame.h) instead of
// queuing an idle callback for each; they are shown here, all that waits at
// once and at most once per display frame. The worker's first result after a
// quiet spell queues idle_show_frame, which shows what waits and starts the
// clock; each tick shows what came since (and the tape health readout, when
// it is due), and a tick that finds nothing lets the clock rest. Interface
// thread only.
#pragma once

#include <gtk/gtk.h>

// Makes idle_show_frame the worker's frame callback. Before a capture starts.
void callbacks_frame_install(void);

// Idle callback (data unused): shows the waiting plot rows and light switches
// now and keeps the frame clock running. Returns FALSE (runs once).
gboolean idle_show_frame(gpointer data);
