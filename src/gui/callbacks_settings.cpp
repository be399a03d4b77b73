#include "callbacks_settings.h"

#include "main.h"
#include "options.h"
#include "support.h"

namespace {

GtkEntry *settings_entry(const char *name)
{
    return GTK_ENTRY(lookup_widget(window_connection_settings, name));
}

void settings_store(gchar **setting, GtkEntry *entry)
{
    gchar *value = g_strdup(gtk_entry_get_text(entry));
    g_free(*setting);
    *setting = value;
}

}  // namespace

void on_toolbutton_main_settings_clicked(GtkToolButton *, gpointer)
{
    gtk_entry_set_text(settings_entry("entry_connection_settings_device_port"), options_device_port_string);
    gtk_entry_set_text(settings_entry("entry_connection_settings_bootloader_port"), options_bootloader_port_string);
    gtk_widget_show(window_connection_settings);
}

void on_button_connection_settings_ok_clicked(GtkButton *, gpointer)
{
    settings_store(&options_device_port_string, settings_entry("entry_connection_settings_device_port"));
    settings_store(&options_bootloader_port_string, settings_entry("entry_connection_settings_bootloader_port"));
    gtk_widget_hide(window_connection_settings);
    options_save_to_file();
}

gboolean on_window_connection_settings_delete_event(GtkWidget *widget, GdkEvent *, gpointer)
{
    return gtk_widget_hide_on_delete(widget);
}
