#include "callbacks_capture.h"

#include "callbacks_clean_tap.h"
#include "callbacks_clock.h"
#include "callbacks_contents.h"
#include "callbacks_file_job.h"
#include "callbacks_format.h"
#include "callbacks_frame.h"
#include "callbacks_health.h"
#include "callbacks_indicator.h"
#include "callbacks_plot.h"
#include "callbacks_shell.h"
#include "link/capture.h"
#include "link/capture_dump.h"
#include "link/capture_progress.h"
#include "link/capture_session.h"
#include "link/capture_worker.h"
#include "common.h"
#include "common_petscii.h"
#include "fileopen.h"
#include "link/handoff.h"
#include "main.h"
#include "options.h"
#include "link/serial.h"
#include "tape/tap_index_file.h"
#include "tape/tap_writer.h"
#include "translate.h"

#include <glib/gstdio.h>
#include <sys/stat.h>

// What a capture's worker receives; copied on the interface thread, so the
// worker never reads interface state.
struct capture_job {
    capture_dump *dump;               // the dump file, or null for a preview
    gchar *port;                      // the device port setting
    sampling_option_values options;   // the sampling options window's values
    gchar *dump_path;                 // the dump file's path, or null for a preview
    gchar *tap_path;                  // where the TAP image goes, or null for none
    int image_may_replace;            // the user agreed to replace the image or its index
};

// Why the last capture's TAP image (or, the image written, its index) could
// not be written (heap text), or null; taken by idle_finish_dump_core.
static gchar *tap_failure;
static gboolean tap_failure_of_index;

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
    static const capture_worker_callbacks callbacks{idle_statusbar_update,       idle_led_on,
                                                    idle_led_off,                idle_print_petscii_filename,
                                                    idle_show_captured_tape_file, nullptr,
                                                    idle_show_unread_stretch};
    capture_worker_set_callbacks(&callbacks);
    callbacks_frame_install();
}

static void free_job(capture_job *job)
{
    g_free(job->port);
    g_free(job->dump_path);
    g_free(job->tap_path);
    g_free(job);
}

// Steps shared by Preview and Dump once their preconditions hold. The dump
// (if any) belongs to the worker once it exists, and is discarded here if not.
// dump_path: the dump's path, or null; with_tap: a TAP image is to be made
// from it.
static void start_capture(capture_dump *dump, const gchar *dump_path, gboolean with_tap, const gchar *thread_name)
{
    plot_clear();
    callbacks_contents_clear();
    flag_abort_requested = 0;
    register_worker_callbacks();
    capture_progress_reset();

    capture_job *job = g_new(capture_job, 1);
    job->dump = dump;
    job->port = g_strdup(options_device_port_string);
    job->options = callbacks_format_get_values();
    job->dump_path = g_strdup(dump_path);
    job->tap_path = dump_path && with_tap ? tap_path_beside_dump(dump_path) : nullptr;
    // The dialog has just asked about what stands under these names; a file
    // that appears there during the capture is left alone.
    job->image_may_replace = 0;
    if (job->tap_path) {
        gchar *index_path = tap_index_path(job->tap_path);
        job->image_may_replace = staged_file_look_at_target(job->tap_path, nullptr) != STAGED_TARGET_NEW ||
                                 staged_file_look_at_target(index_path, nullptr) != STAGED_TARGET_NEW;
        g_free(index_path);
    }
    GError *error = nullptr;
    GThread *thread = g_thread_try_new(thread_name, thread_dump_core, job, &error);
    if (!thread) {
        if (dump)
            capture_dump_discard(dump);
        free_job(job);
        show_status(_(" %s"), error->message);
        g_error_free(error);
        return;
    }
    common_toolbar_set_operation_running(1);
    callbacks_clock_start(dump != nullptr);
    callbacks_health_start();
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
    start_capture(nullptr, nullptr, FALSE, "monitor");
}

void on_toolbutton_main_dump_clicked(GtkToolButton *, gpointer)
{
    gchar *path = nullptr;
    if (!fileopen_save_dmp_file(&path, flag_windows_always_on_top))
        return;
    // Written beside the chosen file and put in place only once the device
    // has begun the capture: a capture that never starts leaves it as it was.
    capture_dump *dump = capture_dump_create(path, nullptr);
    if (!dump) {
        g_free(path);
        common_statusbar_update(_(" Error: Failed to open destination file"));
        return;
    }
    if (!device_port_is_set()) {
        g_free(path);
        capture_dump_discard(dump);
        common_statusbar_update(_(" Error: Invalid device port"));
        return;
    }
    start_capture(dump, path, options_get_write_tap_image(), "dump");
    g_free(path);
}

void on_toolbutton_main_abort_clicked(GtkToolButton *, gpointer)
{
    flag_abort_requested = 1;
    serial_disconnect_port();
    callbacks_file_job_stop();
}

// The kept dump's path (heap), which the list's tape now is.
static gboolean idle_dump_is_listed(gpointer path)
{
    callbacks_clean_tap_set_tape(static_cast<const gchar *>(path));
    g_free(path);
    return FALSE;
}

static gboolean idle_store_tap_failure(gpointer message)
{
    g_free(tap_failure);
    tap_failure = static_cast<gchar *>(message);
    tap_failure_of_index = FALSE;
    return FALSE;
}

static gboolean idle_store_tap_index_failure(gpointer message)
{
    idle_store_tap_failure(message);
    tap_failure_of_index = TRUE;
    return FALSE;
}

gpointer thread_dump_core(gpointer data)
{
    capture_job *job = static_cast<capture_job *>(data);
    capture_session session{job->port,     job->options,  job->dump,
                            job->dump_path, job->tap_path, job->image_may_replace};
    capture_session_run(&session);
    // A failure's reason goes to the interface ahead of the finish callback.
    if (session.tap_error)
        handoff_post(session.tap_error->domain == TAP_INDEX_ERROR ? idle_store_tap_index_failure
                                                                  : idle_store_tap_failure,
                     g_strdup(session.tap_error->message));
    // The dump is now the tape the list shows.
    if (session.kept > 0)
        handoff_post(idle_dump_is_listed, g_strdup(job->dump_path));
    capture_session_clear(&session);
    free_job(job);
    dump_core_thread_cleanup(nullptr, session.reason);
    return nullptr;
}

void dump_core_thread_cleanup(FILE *file, const char *reason)
{
    capture_worker_end(file, reason, idle_finish_dump_core);
}

gboolean idle_finish_dump_core(gpointer data)
{
    const gchar *reason = static_cast<const gchar *>(data);
    // An Abort that came after the success marker (or during the image
    // step) cut nothing short: the capture succeeded.
    gchar *outcome = flag_abort_requested && reason ? g_strdup(_(" Operation aborted"))
                     : reason             ? g_strdup_printf(_(" Operation failed: %s"), reason)
                                          : g_strdup(_(" Operation succeeded"));
    if (tap_failure) {
        gchar *both = g_strdup_printf(tap_failure_of_index ? _("%s; TAP image written, its index not: %s")
                                                           : _("%s; TAP image not written: %s"),
                                      outcome, tap_failure);
        g_free(outcome);
        outcome = both;
        g_clear_pointer(&tap_failure, g_free);
    }
    common_statusbar_update(outcome);
    g_free(outcome);
    callbacks_clock_stop();
    callbacks_health_stop();
    common_toolbar_set_operation_running(0);
    serial_disconnect_port();
    return FALSE;
}
