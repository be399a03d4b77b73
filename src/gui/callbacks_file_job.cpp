#include "callbacks_file_job.h"

#include "common.h"
#include "link/handoff.h"
#include "tape/dmp.h"
#include "tape/tape_input.h"
#include "translate.h"

#include <string>

namespace {

// Often enough for a figure that moves while a long file is read.
const guint progress_interval_ms = 250;

struct running_job {
    const file_job_kind *kind = nullptr;
    gpointer data = nullptr;
    tape_read_control control;
    bool stopped = false;  // written by the worker before it hands over its end
    guint progress_source = 0;
    gchar *shown = nullptr;  // the progress text last shown
};

running_job job;

void show_job_progress(void)
{
    gchar *text = job.kind->progress_text(job.data, job.control.step, tape_read_control_percent(&job.control));
    if (g_strcmp0(text, job.shown) != 0)
        common_statusbar_update(text);
    g_free(job.shown);
    job.shown = text;
}

gboolean on_progress(gpointer)
{
    show_job_progress();
    return G_SOURCE_CONTINUE;
}

gboolean idle_finish_file_job(gpointer)
{
    g_source_remove(job.progress_source);
    job.progress_source = 0;
    g_clear_pointer(&job.shown, g_free);
    const file_job_kind *kind = job.kind;
    gpointer data = job.data;
    job.kind = nullptr;
    job.data = nullptr;
    common_toolbar_set_operation_running(0);
    kind->finish(data, job.stopped);
    kind->free_data(data);
    return FALSE;
}

gpointer thread_file_job(gpointer)
{
    job.stopped = job.kind->run(job.data, &job.control);
    handoff_post(idle_finish_file_job, nullptr);
    return nullptr;
}

}  // namespace

gboolean callbacks_file_job_start(const file_job_kind *kind, gpointer data)
{
    job.kind = kind;
    job.data = data;
    job.control.stop_requested = false;
    tape_read_control_begin_step(&job.control, 0);
    // The first step named before the worker can move on from it.
    show_job_progress();
    GError *error = nullptr;
    GThread *thread = g_thread_try_new(kind->thread_name, thread_file_job, nullptr, &error);
    if (!thread) {
        job.kind = nullptr;
        job.data = nullptr;
        g_clear_pointer(&job.shown, g_free);
        gchar *text = g_strdup_printf(_(" %s"), error->message);
        common_statusbar_update(text);
        g_free(text);
        g_error_free(error);
        kind->free_data(data);
        return FALSE;
    }
    g_thread_unref(thread);
    common_toolbar_set_operation_running(1);
    job.progress_source = g_timeout_add(progress_interval_ms, on_progress, nullptr);
    return TRUE;
}

void callbacks_file_job_stop(void)
{
    if (job.kind)
        job.control.stop_requested = true;
}

gboolean callbacks_file_job_check_tape(const gchar *path)
{
    std::string error;
    const int kind = tape_input_check(path, &error);
    if (kind == -1 && !dmp_path_has_ending(path))
        error = _("not a DMP file or TAP image");
    if (kind == 1 || error.empty())
        return TRUE;
    gchar *text = g_strdup_printf(_(" Cannot open %s: %s"), common_shown_file_name(path, true).c_str(), error.c_str());
    common_statusbar_update(text);
    g_free(text);
    return FALSE;
}
