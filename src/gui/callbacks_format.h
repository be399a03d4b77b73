// The "Sampling options" window's handlers and the four values it sets.
// Every change takes effect at once; there is no OK or Cancel.
// Interface thread only (see callbacks_format_get_values for workers).
#pragma once

#include "sampling_options.h"

#include <gtk/gtk.h>

// The current values. A capture reads them once when it builds its sampling
// command; they cannot change while a capture runs, since the window is modal
// and its tool button is greyed. Returns a copy; never blocks. Call it on the
// interface thread (a start handler) and hand the copy to the worker.
sampling_option_values callbacks_format_get_values(void);

// Options button: shows window_format.
void on_toolbutton_main_format_clicked(GtkToolButton *toolbutton, gpointer user_data);

// The window manager's close: hides the window, keeping its widgets' states.
// Returns TRUE, so the window is not destroyed.
gboolean on_window_format_delete_event(GtkWidget *widget, GdkEvent *event, gpointer user_data);

// Check buttons: store the button's state (1 or 0), also while it is greyed.
void on_checkbutton_format_use_half_waves_toggled(GtkToggleButton *togglebutton, gpointer user_data);
void on_checkbutton_format_use_rising_edge_toggled(GtkToggleButton *togglebutton, gpointer user_data);

// Combos: store the active item's index. The machine type also sets the check
// buttons' sensitivity: "Start on a rising edge" only for GENERIC (3),
// "Trigger on both edges" for C16/+4 and GENERIC (2 and 3), matching what the
// sampling command sends. While the user types in a combo's entry there is no
// active item, and the value and the greying stay as they were.
void on_comboboxentry_format_video_standard_changed(GtkComboBox *combobox, gpointer user_data);
void on_comboboxentry_format_machine_type_changed(GtkComboBox *combobox, gpointer user_data);

// Ends typing in either combo's entry: text that names an item (ignoring case
// and surrounding spaces) selects that item; any other text is replaced by the
// current item. Runs on Enter in an entry, when an entry loses the focus and
// when the window is hidden, so typed text is never left standing for a
// choice it is not. `widget` is any widget of window_format.
void callbacks_format_settle_typed_text(GtkWidget *widget);

// "focus-out-event" of the combos' entries: settles typed text. Returns FALSE.
gboolean on_format_entry_focus_out_event(GtkWidget *widget, GdkEventFocus *event, gpointer user_data);
