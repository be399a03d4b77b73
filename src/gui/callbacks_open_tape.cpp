#include "callbacks_open_tape.h"

#include "callbacks_clean_tap.h"
#include "callbacks_clock.h"
#include "callbacks_contents.h"
#include "callbacks_file_job.h"
#include "callbacks_frame.h"
#include "callbacks_health.h"
#include "callbacks_plot.h"
#include "common.h"
#include "interface.h"
#include "link/capture_progress.h"
#include "link/handoff_frame.h"
#include "link/sample_pass.h"
#include "main.h"
#include "translate.h"

#include <memory>
#include <string>

namespace {

// The worker's job; the interface reads only path while it runs.
struct open_tape_job {
    std::string path;
    GError *error = nullptr;
};

bool run_open_tape(gpointer data, tape_read_control *control)
{
    auto *job = static_cast<open_tape_job *>(data);
    auto pass = std::make_unique<sample_pass>();
    sample_pass_init(pass.get(), nullptr);
    sample_pass_list_files(pass.get(), idle_show_tape_file);
    sample_pass_list_unread(pass.get(), idle_show_unread_stretch);
    const int read = sample_pass_read_file(pass.get(), job->path.c_str(), nullptr, control, &job->error);
    sample_pass_finish(pass.get());
    // The plot's last rows are shown before the end is.
    handoff_frame_flush();
    return read < 0;
}

gchar *open_tape_progress_text(gconstpointer data, unsigned, int percent)
{
    const auto *job = static_cast<const open_tape_job *>(data);
    const std::string shown = common_shown_file_name(job->path.c_str(), true);
    return percent < 0 ? g_strdup_printf(_(" Reading %s..."), shown.c_str())
                       : g_strdup_printf(_(" Reading %s: %d %%"), shown.c_str(), percent);
}

void finish_open_tape(gpointer data, bool stopped)
{
    auto *job = static_cast<open_tape_job *>(data);
    callbacks_clock_stop();
    callbacks_health_stop();
    const std::string shown_name = common_shown_file_name(job->path.c_str(), true);
    const gchar *shown = shown_name.c_str();
    gchar *text = nullptr;
    if (job->error) {
        text = g_strdup_printf(_(" Cannot open %s: %s"), shown, job->error->message);
    } else if (stopped) {
        text = g_strdup(_(" Operation aborted"));
    } else {
        callbacks_clean_tap_set_tape(job->path.c_str());
        text = g_strdup_printf(_(" Opened %s"), shown);
    }
    common_statusbar_update(text);
    g_free(text);
}

void free_open_tape_job(gpointer data)
{
    auto *job = static_cast<open_tape_job *>(data);
    g_clear_error(&job->error);
    delete job;
}

const file_job_kind open_tape_kind{"open-tape", run_open_tape, open_tape_progress_text, finish_open_tape,
                                   free_open_tape_job};

}  // namespace

void callbacks_open_tape(const gchar *path)
{
    if (!callbacks_file_job_check_tape(path))
        return;
    plot_clear();
    callbacks_contents_clear();
    callbacks_frame_install();
    capture_progress_reset();
    if (callbacks_file_job_start(&open_tape_kind, new open_tape_job{path})) {
        callbacks_clock_start(0);
        callbacks_health_start();
    }
}

void on_toolbutton_main_open_tape_clicked(GtkToolButton *, gpointer)
{
    GtkWidget *dialog = create_filechooserdialog_open_tape();
    common_chooser_open_in(dialog, options_folder_open_tape);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    gchar *path = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK
                      ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))
                      : nullptr;
    gtk_widget_destroy(dialog);
    if (!path)
        return;
    gchar *folder = g_path_get_dirname(path);
    common_remember_folder(options_folder_open_tape, folder);
    g_free(folder);
    callbacks_open_tape(path);
    g_free(path);
}
