#include "callbacks_rescue.h"

#include "callbacks_clean_tap.h"
#include "callbacks_contents.h"
#include "callbacks_file_job.h"
#include "common.h"
#include "interface.h"
#include "main.h"
#include "tape/tape_rescue.h"
#include "translate.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// The worker's job; the interface reads only paths while it runs.
struct rescue_job {
    std::vector<std::string> paths;
    std::shared_ptr<std::vector<std::vector<tape_take_file>>> takes;
    std::shared_ptr<std::vector<tape_rescued_file>> files;
    bool shared = false;
    size_t failed = 0;  // the take that could not be read, with error
    GError *error = nullptr;
};

bool run_rescue(gpointer data, tape_read_control *control)
{
    auto *job = static_cast<rescue_job *>(data);
    for (size_t take = 0; take < job->paths.size(); ++take) {
        tape_read_control_begin_step(control, unsigned(take));
        if (!tape_take_read_file(job->paths[take].c_str(), &(*job->takes)[take], control, &job->error)) {
            job->failed = take;
            return !job->error;
        }
    }
    *job->files = tape_rescue(*job->takes, &job->shared);
    return false;
}

gchar *rescue_progress_text(gconstpointer data, unsigned step, int percent)
{
    const auto *job = static_cast<const rescue_job *>(data);
    const std::string shown_name = common_shown_file_name(job->paths[step].c_str(), true);
    const gchar *shown = shown_name.c_str();
    const unsigned takes = unsigned(job->paths.size());
    gchar *text = percent < 0
                      ? g_strdup_printf(_(" Reading take %u of %u, %s..."), step + 1, takes, shown)
                      : g_strdup_printf(_(" Reading take %u of %u, %s: %d %%"), step + 1, takes, shown, percent);
    return text;
}

// The rescue's files as rows of the list, their programs kept.
void show_files(const std::vector<tape_rescued_file> &files)
{
    guint32 sequence = 0;
    for (const tape_rescued_file &file : files) {
        tape_file_event record{};
        record.sequence = ++sequence;
        record.loader = file.loader;
        record.tick = file.tick;
        std::memcpy(record.name, file.name, sizeof file.name);
        record.verdict = tape_rescue_verdict(file.outcome);
        if (file.outcome != tape_rescue_bad) {
            record.load_address = file.load_address;
            record.program_length = uint32_t(file.program.size());
            record.program = file.program.data();
        }
        callbacks_contents_show(&record);
    }
}

void finish_rescue(gpointer data, bool stopped)
{
    auto *job = static_cast<rescue_job *>(data);
    gchar *text = nullptr;
    if (job->error) {
        text = g_strdup_printf(_(" Cannot read %s: %s"),
                               common_shown_file_name(job->paths[job->failed].c_str(), true).c_str(),
                               job->error->message);
    } else if (stopped) {
        text = g_strdup(_(" Operation aborted"));
    } else {
        show_files(*job->files);
        unsigned rescued = 0;
        unsigned bad = 0;
        for (const tape_rescued_file &file : *job->files) {
            rescued += file.outcome == tape_rescue_rescued;
            bad += file.outcome == tape_rescue_bad;
        }
        const unsigned takes = unsigned(job->paths.size());
        text = job->shared ? g_strdup_printf(_(" %u takes combined: %u rescued, %u bad"), takes, rescued, bad)
                           : g_strdup(_(" The takes have no file in common: each is judged on its own"));
        callbacks_clean_tap_set_rescue(job->paths, job->takes, job->files);
    }
    common_statusbar_update(text);
    g_free(text);
}

void free_rescue_job(gpointer data)
{
    auto *job = static_cast<rescue_job *>(data);
    g_clear_error(&job->error);
    delete job;
}

const file_job_kind rescue_kind{"rescue", run_rescue, rescue_progress_text, finish_rescue, free_rescue_job};

}  // namespace

void callbacks_rescue_start(const std::vector<std::string> &paths)
{
    if (paths.size() < 2) {
        common_statusbar_update(_(" A rescue needs two or more takes of the same tape side"));
        return;
    }
    for (const std::string &path : paths)
        if (!callbacks_file_job_check_tape(path.c_str()))
            return;
    callbacks_contents_clear();
    auto *job = new rescue_job{paths, std::make_shared<std::vector<std::vector<tape_take_file>>>(paths.size()),
                               std::make_shared<std::vector<tape_rescued_file>>()};
    callbacks_file_job_start(&rescue_kind, job);
}

void on_toolbutton_main_rescue_clicked(GtkToolButton *, gpointer)
{
    GtkWidget *dialog = create_filechooserdialog_rescue();
    common_chooser_open_in(dialog, options_folder_rescue);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    std::vector<std::string> paths;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        GSList *chosen = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
        for (GSList *each = chosen; each; each = each->next)
            paths.emplace_back(static_cast<const gchar *>(each->data));
        g_slist_free_full(chosen, g_free);
        // The first take is the one a clean image is made of: the first by name.
        std::sort(paths.begin(), paths.end());
        gchar *folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
        common_remember_folder(options_folder_rescue, folder);
        g_free(folder);
    }
    gtk_widget_destroy(dialog);
    if (!paths.empty())
        callbacks_rescue_start(paths);
}
