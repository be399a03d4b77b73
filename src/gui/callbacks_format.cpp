#include "callbacks_format.h"

#include "main.h"
#include "sampling_options.h"
#include "support.h"

namespace {

// The values the format window's choices stand for, kept on that window so
// that a new window starts from zeros (as its items and boxes do).
const char values_key[] = "zr7k8-sampling-values";

// The values of the window that holds `widget` (window_format by default).
sampling_option_values &values(GtkWidget *widget = window_format)
{
    GObject *window = G_OBJECT(gtk_widget_get_toplevel(widget));
    auto *kept = static_cast<sampling_option_values *>(g_object_get_data(window, values_key));
    if (!kept) {
        kept = g_new0(sampling_option_values, 1);
        g_object_set_data_full(window, values_key, kept, g_free);
    }
    return *kept;
}

// The item whose text the entry holds, ignoring case and surrounding
// spaces, or -1 when it names none.
int format_item_named_by_entry(GtkComboBox *combobox)
{
    gchar *typed = g_strdup(gtk_entry_get_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(combobox)))));
    gchar *wanted = g_utf8_casefold(g_strstrip(typed), -1);
    GtkTreeModel *model = gtk_combo_box_get_model(combobox);
    int found = -1;
    GtkTreeIter iter;
    int index = 0;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more && found < 0;
         more = gtk_tree_model_iter_next(model, &iter), ++index) {
        gchar *item = nullptr;
        gtk_tree_model_get(model, &iter, 0, &item, -1);
        gchar *folded = item ? g_utf8_casefold(item, -1) : nullptr;
        if (folded && g_strcmp0(folded, wanted) == 0)
            found = index;
        g_free(folded);
        g_free(item);
    }
    g_free(wanted);
    g_free(typed);
    return found;
}

// Ends an edit of the combo's entry: text that names an item selects it,
// anything else puts the current item back.
void format_settle_entry(GtkWidget *window, const char *combo_name, int current)
{
    GtkComboBox *combobox = GTK_COMBO_BOX(lookup_widget(window, combo_name));
    if (gtk_combo_box_get_active(combobox) >= 0)
        return;
    const int named = format_item_named_by_entry(combobox);
    gtk_combo_box_set_active(combobox, named >= 0 ? named : current);
}

}  // namespace

void callbacks_format_settle_typed_text(GtkWidget *widget)
{
    format_settle_entry(widget, "comboboxentry_format_machine_type", values(widget).machine_type);
    format_settle_entry(widget, "comboboxentry_format_video_standard", values(widget).video_standard);
}

gboolean on_format_entry_focus_out_event(GtkWidget *widget, GdkEventFocus *, gpointer)
{
    callbacks_format_settle_typed_text(widget);
    return FALSE;
}

sampling_option_values callbacks_format_get_values(void)
{
    return values();
}

void on_toolbutton_main_format_clicked(GtkToolButton *, gpointer)
{
    gtk_widget_show(window_format);
}

gboolean on_window_format_delete_event(GtkWidget *widget, GdkEvent *, gpointer)
{
    return gtk_widget_hide_on_delete(widget);
}

void on_checkbutton_format_use_half_waves_toggled(GtkToggleButton *togglebutton, gpointer)
{
    values(GTK_WIDGET(togglebutton)).dump_half_waves = gtk_toggle_button_get_active(togglebutton) ? 1 : 0;
}

void on_checkbutton_format_use_rising_edge_toggled(GtkToggleButton *togglebutton, gpointer)
{
    values(GTK_WIDGET(togglebutton)).rising_active = gtk_toggle_button_get_active(togglebutton) ? 1 : 0;
}

void on_comboboxentry_format_video_standard_changed(GtkComboBox *combobox, gpointer)
{
    // No active item: the user is typing; the value stays until the edit ends.
    if (gtk_combo_box_get_active(combobox) >= 0)
        values(GTK_WIDGET(combobox)).video_standard = gtk_combo_box_get_active(combobox);
}

void on_comboboxentry_format_machine_type_changed(GtkComboBox *combobox, gpointer)
{
    if (gtk_combo_box_get_active(combobox) < 0)
        return;
    const int machine_type = values(GTK_WIDGET(combobox)).machine_type = gtk_combo_box_get_active(combobox);
    gtk_widget_set_sensitive(lookup_widget(window_format, "checkbutton_format_use_rising_edge"),
                             sampling_machine_uses_rising_start(machine_type));
    gtk_widget_set_sensitive(lookup_widget(window_format, "checkbutton_format_use_half_waves"),
                             sampling_machine_uses_both_edges(machine_type));
}
