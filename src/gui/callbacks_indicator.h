// The activity light beside the status bar: a small square shown red or
// black. The capture worker switches it by queuing idle_led_on and
// idle_led_off. Interface thread only.
#pragma once

#include <gtk/gtk.h>

// "configure_event" of drawingarea_flash: on the first size change only,
// makes the black and the red image of the widget's size and shows the black
// one. Returns TRUE when it made them, FALSE otherwise (later size changes,
// or an image that could not be made: the next size change tries again).
gboolean on_drawingarea_flash_configure_event(GtkWidget *widget, GdkEventConfigure *event, gpointer user_data);

// "expose_event" of drawingarea_flash: paints the current image. Returns FALSE
// while the images do not exist.
gboolean on_drawingarea_flash_expose_event(GtkWidget *widget, GdkEventExpose *event, gpointer user_data);

// Idle callbacks (data unused): light on (red) or off (black), with a redraw;
// nothing happens before the images exist. Return FALSE (run once).
gboolean idle_led_on(gpointer data);
gboolean idle_led_off(gpointer data);

// 1 while the light shows red, 0 while black, -1 before the images exist.
int callbacks_indicator_state(void);
