#include "callbacks_shell.h"

#include "common.h"
#include "main.h"
#include "options.h"
#include "link/serial.h"
#include "support.h"
#include "translate.h"

namespace {

// The question is shown as it is, in English, like the program's title.
const char quit_question[] = "Are you sure you want to quit?";

}  // namespace

gboolean idle_statusbar_update(gpointer data)
{
    gchar *text = g_strdup_printf(_(" %s"), static_cast<const char *>(data));
    common_statusbar_update(text);
    g_free(text);
    return FALSE;
}

void quit_program(void)
{
    flag_abort_requested = 1;
    serial_disconnect_port();
    gtk_main_quit();
}

void on_toolbutton_main_quit_clicked(GtkToolButton *, gpointer)
{
    if (!common_get_user_confirmation(quit_question))
        return;
    options_save_to_file();
    flag_abort_requested = 1;
    serial_disconnect_port();
    gtk_main_quit();
}

gboolean on_window_main_delete_event(GtkWidget *, GdkEvent *, gpointer)
{
    if (!common_get_user_confirmation(quit_question))
        return TRUE;
    options_save_to_file();
    flag_abort_requested = 1;
    serial_disconnect_port();
    return FALSE;
}

void on_toolbutton_main_stay_on_top_toggled(GtkToggleToolButton *toggletoolbutton, gpointer)
{
    flag_windows_always_on_top = gtk_toggle_tool_button_get_active(toggletoolbutton) ? 1 : 0;
    gtk_window_set_keep_above(GTK_WINDOW(window_main), flag_windows_always_on_top);
    gtk_window_set_keep_above(GTK_WINDOW(window_format), flag_windows_always_on_top);
    gtk_window_set_keep_above(GTK_WINDOW(window_connection_settings), flag_windows_always_on_top);
}
