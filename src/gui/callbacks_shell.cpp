#include "callbacks_shell.h"

#include "callbacks_file_job.h"
#include "common.h"
#include "main.h"
#include "options.h"
#include "link/serial.h"
#include "support.h"
#include "translate.h"

namespace {

// The question is shown as it is, in English, like the program's title.
const char quit_question[] = "Are you sure you want to quit?";

// How long quitting waits for a running operation to end once asked to: a
// capture stops within about half a second of its port closing, and even a
// long tape's TAP image takes seconds.
const gint64 quit_wait_us = 30 * G_USEC_PER_SEC;
const guint quit_poll_ms = 50;

// Set on the main window once quitting has begun: a second Quit meanwhile is
// not asked again. Kept on the window, so it lasts exactly as long as it.
const char quitting_key[] = "zr7k8-quitting";

bool quit_under_way(void)
{
    return window_main && g_object_get_data(G_OBJECT(window_main), quitting_key);
}

gboolean keep_polling(gpointer)
{
    return G_SOURCE_CONTINUE;
}

// Asks the running operation (if any) to end, then runs the main loop, so
// the window stays responsive, until its finish callback has run: a dump is
// then closed and in place, and its TAP image written. Bounded by
// quit_wait_us.
void end_running_operation(void)
{
    g_object_set_data(G_OBJECT(window_main), quitting_key, GINT_TO_POINTER(1));
    flag_abort_requested = 1;
    serial_disconnect_port();
    callbacks_file_job_stop();
    const gint64 deadline = g_get_monotonic_time() + quit_wait_us;
    const guint poll = g_timeout_add(quit_poll_ms, keep_polling, nullptr);
    while (common_operation_running() && g_get_monotonic_time() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(poll);
}

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
    callbacks_file_job_stop();
    gtk_main_quit();
}

void on_toolbutton_main_quit_clicked(GtkToolButton *, gpointer)
{
    if (quit_under_way() || !common_get_user_confirmation(quit_question))
        return;
    options_save_to_file();
    end_running_operation();
    gtk_main_quit();
}

gboolean on_window_main_delete_event(GtkWidget *, GdkEvent *, gpointer)
{
    if (quit_under_way() || !common_get_user_confirmation(quit_question))
        return TRUE;
    options_save_to_file();
    end_running_operation();
    return FALSE;
}

void on_toolbutton_main_stay_on_top_toggled(GtkToggleToolButton *toggletoolbutton, gpointer)
{
    flag_windows_always_on_top = gtk_toggle_tool_button_get_active(toggletoolbutton) ? 1 : 0;
    gtk_window_set_keep_above(GTK_WINDOW(window_main), flag_windows_always_on_top);
    gtk_window_set_keep_above(GTK_WINDOW(window_format), flag_windows_always_on_top);
    gtk_window_set_keep_above(GTK_WINDOW(window_connection_settings), flag_windows_always_on_top);
}
