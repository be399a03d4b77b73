#include "callbacks_format.h"

#include "main.h"
#include "link/sampling_command.h"
#include "support.h"

namespace {

int machine_type = 0;
int video_standard = 0;
int dump_half_waves = 0;
int rising_active = 0;

int format_active_index(GtkComboBox *combobox)
{
    int index = gtk_combo_box_get_active(combobox);
    return index < 0 ? 0 : index;
}

}  // namespace

sampling_option_values callbacks_format_get_values(void)
{
    return {machine_type, video_standard, dump_half_waves, rising_active};
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
    dump_half_waves = gtk_toggle_button_get_active(togglebutton) ? 1 : 0;
}

void on_checkbutton_format_use_rising_edge_toggled(GtkToggleButton *togglebutton, gpointer)
{
    rising_active = gtk_toggle_button_get_active(togglebutton) ? 1 : 0;
}

void on_comboboxentry_format_video_standard_changed(GtkComboBox *combobox, gpointer)
{
    video_standard = format_active_index(combobox);
}

void on_comboboxentry_format_machine_type_changed(GtkComboBox *combobox, gpointer)
{
    machine_type = format_active_index(combobox);
    gtk_widget_set_sensitive(lookup_widget(window_format, "checkbutton_format_use_rising_edge"),
                             sampling_machine_uses_rising_start(machine_type));
    gtk_widget_set_sensitive(lookup_widget(window_format, "checkbutton_format_use_half_waves"),
                             sampling_machine_uses_both_edges(machine_type));
}
