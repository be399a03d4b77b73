#include "callbacks_settings.h"

#include "main.h"
#include "options.h"
#include "device/port_list.h"
#include "support.h"

#include <string>

namespace {

std::string port_dev_root = "/dev";
std::string port_sys_root = "/sys";

GtkEntry *settings_entry(const char *name)
{
    return GTK_ENTRY(lookup_widget(window_connection_settings, name));
}

gboolean port_matches(GtkEntryCompletion *completion, const gchar *key, GtkTreeIter *iter, gpointer)
{
    gchar *path = nullptr;
    gtk_tree_model_get(gtk_entry_completion_get_model(completion), iter, PORT_COMPLETION_COLUMN_PATH, &path, -1);
    // The key comes case-folded; fold the path the same way.
    gchar *folded = path ? g_utf8_casefold(path, -1) : nullptr;
    const gboolean matches = folded && (g_str_has_prefix(folded, key) ||
                                        (g_str_has_prefix(folded, "/dev/") && g_str_has_prefix(folded + 5, key)));
    g_free(folded);
    g_free(path);
    return matches;
}

void list_ports(GtkListStore *store)
{
    gtk_list_store_clear(store);
    for (const port_info &port : port_list(port_dev_root.c_str(), port_sys_root.c_str())) {
        gtk_list_store_insert_with_values(store, nullptr, -1, PORT_COMPLETION_COLUMN_PATH, port.path.c_str(),
                                          PORT_COMPLETION_COLUMN_DESCRIPTION, port_description(port).c_str(), -1);
    }
}

void settings_store(gchar **setting, GtkEntry *entry)
{
    gchar *value = g_strdup(gtk_entry_get_text(entry));
    g_free(*setting);
    *setting = value;
}

}  // namespace

GtkEntryCompletion *callbacks_settings_new_port_completion(GtkListStore *store)
{
    GtkEntryCompletion *completion = gtk_entry_completion_new();
    gtk_entry_completion_set_model(completion, GTK_TREE_MODEL(store));
    gtk_entry_completion_set_text_column(completion, PORT_COMPLETION_COLUMN_PATH);
    GtkCellRenderer *description = gtk_cell_renderer_text_new();
    // Drawn in the theme's dimmed text colour, apart from the path.
    g_object_set(description, "sensitive", FALSE, "xpad", 12, nullptr);
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(completion), description, FALSE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(completion), description, "text",
                                  PORT_COMPLETION_COLUMN_DESCRIPTION);
    gtk_entry_completion_set_match_func(completion, port_matches, nullptr, nullptr);
    gtk_entry_completion_set_minimum_key_length(completion, 0);
    // As wide as path and description need, not cut to the entry's width.
    gtk_entry_completion_set_popup_set_width(completion, FALSE);
    return completion;
}

void callbacks_settings_set_port_roots(const char *dev_root, const char *sys_root)
{
    port_dev_root = dev_root;
    port_sys_root = sys_root;
}

void on_toolbutton_main_settings_clicked(GtkToolButton *, gpointer)
{
    GtkEntry *device_port = settings_entry("entry_connection_settings_device_port");
    list_ports(GTK_LIST_STORE(gtk_entry_completion_get_model(gtk_entry_get_completion(device_port))));
    // gtk_entry_set_text keeps the completion quiet: no list pops up over a
    // stored value that matches a port.
    gtk_entry_set_text(device_port, options_device_port_string);
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
