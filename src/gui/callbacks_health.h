// The tape health readout beside the tape clock: the live tape speed and
// pulse spread ("speed -3.8 % · spread 1.9 %", label_main_tape_health) and a
// small gauge of the spread (drawingarea_main_tape_health), green, yellow or
// red by how near the pulses come to the loaders' windows (the thresholds
// are tape_health.h's). Read from the capture progress on the interface's
// frames, a few times a second; empty until a pilot has been measured,
// cleared when a capture starts, kept after it ends. Interface thread only.
#pragma once

#include "tape/tape_health.h"

#include <gtk/gtk.h>

// Empties the readout and the gauge; a capture is about to start.
void callbacks_health_start(void);

// Shows the newest figures when the last showing is a few hundred
// milliseconds old. Called on every frame of the interface's frame clock.
void callbacks_health_show_due(void);

// Shows the capture's last figures, whatever the time.
void callbacks_health_stop(void);

// The readout as a text (for the tooltips of the tape contents too): "" when
// there are no figures. The caller frees it with g_free.
gchar *callbacks_health_text(const tape_health_figures *figures);

// The gauge's "expose_event" handler: a bar as long as the spread (full at
// 5 %) in the colour of the margin; nothing while there are no figures.
gboolean on_drawingarea_main_tape_health_expose_event(GtkWidget *widget, GdkEventExpose *event, gpointer data);
