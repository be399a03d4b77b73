#include "common.h"

#include "interface.h"
#include "main.h"
#include "support.h"

void common_statusbar_update(const gchar *text)
{
    GtkStatusbar *statusbar = GTK_STATUSBAR(lookup_widget(window_main, "statusbar_main"));
    gtk_statusbar_pop(statusbar, 0);
    gtk_statusbar_push(statusbar, 0, text);
}

int common_get_user_confirmation(const gchar *message)
{
    GtkWidget *dialog = create_dialog_yes_no_confirmation();
    gtk_label_set_markup(GTK_LABEL(lookup_widget(dialog, "label_yes_no_confirmation")), message);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == GTK_RESPONSE_YES ? 1 : 0;
}

// Whether the toolbar is busy: an operation's worker runs or its finish is
// still to come.
static int operation_running;

int common_operation_running(void)
{
    return operation_running;
}

void common_toolbar_set_operation_running(int running)
{
    operation_running = running != 0;
    static const char *const start_buttons[] = {
        "toolbutton_main_settings", "toolbutton_main_format", "toolbutton_main_monitor",
        "toolbutton_main_dump",     "toolbutton_main_open_tape", "toolbutton_main_reboot",
        "toolbutton_main_firmware_update",
    };
    for (const char *name : start_buttons)
        gtk_widget_set_sensitive(lookup_widget(window_main, name), !running);
    gtk_widget_set_sensitive(lookup_widget(window_main, "toolbutton_main_abort"), running != 0);
}
