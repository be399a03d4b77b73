#include "callbacks_capture.h"

#include "callbacks_format.h"
#include "callbacks_frame.h"
#include "callbacks_indicator.h"
#include "callbacks_plot.h"
#include "callbacks_shell.h"
#include "capture_worker.h"
#include "common.h"
#include "common_petscii.h"
#include "fileopen.h"
#include "main.h"
#include "options.h"
#include "sampling_command.h"
#include "serial.h"
#include "translate.h"

#include <glib/gstdio.h>

// What a capture's worker receives; copied on the interface thread, so the
// worker never reads interface state.
struct capture_job {
    FILE *file;                       // the dump file, or null for a preview
    gchar *port;                      // the device port setting
    sampling_option_values options;   // the sampling options window's values
};

static void show_status(const gchar *format, const gchar *detail)
{
    gchar *text = g_strdup_printf(format, detail);
    common_statusbar_update(text);
    g_free(text);
}

// The worker reaches the interface only through these idle callbacks; its
// plot rows and light switches through the frame clock.
static void register_worker_callbacks(void)
{
    static const capture_worker_callbacks callbacks{idle_statusbar_update, idle_led_on, idle_led_off,
                                                    idle_print_petscii_filename};
    capture_worker_set_callbacks(&callbacks);
    callbacks_frame_install();
}

// Steps shared by Preview and Dump once their preconditions hold. The file
// (if any) belongs to the worker once it exists, and is closed here if not.
static void start_capture(FILE *file, const gchar *thread_name)
{
    plot_clear();
    flag_abort_requested = 0;
    register_worker_callbacks();

    capture_job *job = g_new(capture_job, 1);
    job->file = file;
    job->port = g_strdup(options_device_port_string);
    job->options = callbacks_format_get_values();
    GError *error = nullptr;
    GThread *thread = g_thread_try_new(thread_name, thread_dump_core, job, &error);
    if (!thread) {
        if (file)
            fclose(file);
        g_free(job->port);
        g_free(job);
        show_status(_(" %s"), error->message);
        g_error_free(error);
        return;
    }
    common_toolbar_set_operation_running(1);
    g_thread_unref(thread);
}

static int device_port_is_set(void)
{
    return options_device_port_string && options_device_port_string[0] != '\0';
}

void on_toolbutton_main_monitor_clicked(GtkToolButton *, gpointer)
{
    if (!device_port_is_set()) {
        common_statusbar_update(_(" Error: Invalid device port"));
        return;
    }
    start_capture(nullptr, "monitor");
}

void on_toolbutton_main_dump_clicked(GtkToolButton *, gpointer)
{
    gchar *path = nullptr;
    if (!fileopen_save_dmp_file(&path, flag_windows_always_on_top))
        return;
    FILE *file = g_fopen(path, "w+b");
    g_free(path);
    if (!file) {
        common_statusbar_update(_(" Error: Failed to open destination file"));
        return;
    }
    if (!device_port_is_set()) {
        fclose(file);
        common_statusbar_update(_(" Error: Invalid device port"));
        return;
    }
    start_capture(file, "dump");
}

void on_toolbutton_main_abort_clicked(GtkToolButton *, gpointer)
{
    flag_abort_requested = 1;
    serial_disconnect_port();
}

gpointer thread_dump_core(gpointer data)
{
    capture_job *job = static_cast<capture_job *>(data);
    char *command = sampling_command_build(job->options.machine_type, job->options.video_standard,
                                           job->options.dump_half_waves, job->options.rising_active);
    const char *reason = capture_worker_run(job->file, job->port, command);
    g_free(command);
    FILE *file = job->file;
    g_free(job->port);
    g_free(job);
    dump_core_thread_cleanup(file, reason);
    return nullptr;
}

void dump_core_thread_cleanup(FILE *file, const char *reason)
{
    capture_worker_end(file, reason, idle_finish_dump_core);
}

gboolean idle_finish_dump_core(gpointer data)
{
    const gchar *reason = static_cast<const gchar *>(data);
    if (flag_abort_requested)
        common_statusbar_update(_(" Operation aborted"));
    else if (reason)
        show_status(_(" Operation failed: %s"), reason);
    else
        common_statusbar_update(_(" Operation succeeded"));
    common_toolbar_set_operation_running(0);
    serial_disconnect_port();
    return FALSE;
}
