#include "callbacks_clean_tap.h"

#include "callbacks_file_job.h"
#include "callbacks_format.h"
#include "common.h"
#include "interface.h"
#include "main.h"
#include "support.h"
#include "staged_file.h"
#include "tape/clean_tap.h"
#include "tape/tap_index_file.h"
#include "tape/tap_writer.h"
#include "translate.h"

#include <glib/gstdio.h>

#include <cstring>

namespace {

// The tape the list shows: its takes' paths (one but for a rescue) and,
// after a rescue, what it read and made of them.
struct listed_tape {
    std::vector<std::string> paths;
    std::shared_ptr<const std::vector<std::vector<tape_take_file>>> takes;
    std::shared_ptr<const std::vector<tape_rescued_file>> files;
};

listed_tape listed;

// The worker's job; the interface reads only paths and image while it runs.
struct clean_tap_job {
    listed_tape tape;
    std::string image;
    sampling_option_values options;
    int replace;  // the image's or the index's name was taken when the user was asked
    clean_tap_result result{};
    GError *error = nullptr;
};

// Job steps.
enum : unsigned { step_reading, step_writing };

bool run_clean_tap(gpointer data, tape_read_control *control)
{
    auto *job = static_cast<clean_tap_job *>(data);
    const char *take = job->tape.paths[0].c_str();
    if (!job->tape.takes) {
        auto takes = std::make_shared<std::vector<std::vector<tape_take_file>>>(1);
        if (!tape_take_read_file(take, &(*takes)[0], control, &job->error))
            return !job->error;
        job->tape.files = std::make_shared<const std::vector<tape_rescued_file>>(tape_rescue(*takes, nullptr));
        job->tape.takes = std::move(takes);
    }
    tape_read_control_begin_step(control, step_writing);
    return !clean_tap_write(take, *job->tape.takes, *job->tape.files, &job->options, job->image.c_str(),
                            job->replace, &job->result, &job->error, control) &&
           !job->error;
}

gchar *clean_tap_progress_text(gconstpointer data, unsigned step, int percent)
{
    const auto *job = static_cast<const clean_tap_job *>(data);
    const bool reading = step == step_reading;
    const std::string shown_name =
        common_shown_file_name((reading ? job->tape.paths[0] : job->image).c_str(), true);
    const gchar *shown = shown_name.c_str();
    gchar *text = percent < 0 ? g_strdup_printf(reading ? _(" Reading %s...") : _(" Writing %s..."), shown)
                              : g_strdup_printf(reading ? _(" Reading %s: %d %%") : _(" Writing %s: %d %%"),
                                                shown, percent);
    return text;
}

void finish_clean_tap(gpointer data, bool stopped)
{
    auto *job = static_cast<clean_tap_job *>(data);
    const std::string shown_name = common_shown_file_name(job->image.c_str(), true);
    const gchar *shown = shown_name.c_str();
    gchar *text = nullptr;
    if (job->error && job->error->domain == TAP_INDEX_ERROR)
        text = g_strdup_printf(_(" Clean TAP image saved: %s; its index not: %s"), shown, job->error->message);
    else if (job->error)
        text = g_strdup_printf(_(" Clean TAP image not written: %s"), job->error->message);
    else if (stopped)
        text = g_strdup(_(" Operation aborted"));
    else
        text = g_strdup_printf(P_(" Clean TAP image saved: %s, %u file written afresh",
                                        " Clean TAP image saved: %s, %u files written afresh",
                                        job->result.files_rebuilt),
                               shown, job->result.files_rebuilt);
    common_statusbar_update(text);
    g_free(text);
}

void free_clean_tap_job(gpointer data)
{
    auto *job = static_cast<clean_tap_job *>(data);
    g_clear_error(&job->error);
    delete job;
}

const file_job_kind clean_tap_kind{"clean-tap", run_clean_tap, clean_tap_progress_text, finish_clean_tap,
                                   free_clean_tap_job};

// "NAME clean.tap" for the first take NAME.EXT.
std::string proposed_name(const std::string &take)
{
    gchar *base = g_path_get_basename(take.c_str());
    if (gchar *dot = strrchr(base, '.'); dot && dot != base)
        *dot = '\0';
    std::string name = std::string(base) + " clean.tap";
    g_free(base);
    return name;
}

// The chosen name with a .tap ending.
std::string image_path(const gchar *chosen)
{
    gchar *lower = g_ascii_strdown(chosen, -1);
    const bool has_ending = g_str_has_suffix(lower, ".tap");
    g_free(lower);
    return has_ending ? std::string(chosen) : std::string(chosen) + ".tap";
}

// Whether path names the same file as one of the takes.
bool is_a_take(const std::string &path)
{
    GStatBuf target;
    if (g_stat(path.c_str(), &target) != 0)
        return false;
    for (const std::string &take : listed.paths) {
        GStatBuf status;
        if (g_stat(take.c_str(), &status) == 0 && status.st_dev == target.st_dev && status.st_ino == target.st_ino)
            return true;
    }
    return false;
}

// Runs the dialog until a name that may be written is confirmed; empty when
// cancelled.
std::string choose_image(void)
{
    GtkWidget *dialog = create_filechooserdialog_save_clean_tap();
    common_chooser_open_in(dialog, options_folder_clean_tap);
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), proposed_name(listed.paths[0]).c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    std::string image;
    while (image.empty() && gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        gchar *chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        if (!chosen)
            continue;
        const std::string path = image_path(chosen);
        g_free(chosen);
        gchar *index = tap_index_path(path.c_str());
        const std::vector<std::string> written{path, index};
        g_free(index);
        if (is_a_take(path) || is_a_take(written[1])) {
            common_statusbar_update(_(" Error: the clean image cannot replace a take it is made from"));
            continue;
        }
        if (common_may_replace_files(dialog, written))
            image = path;
    }
    gtk_widget_destroy(dialog);
    return image;
}

}  // namespace

void callbacks_clean_tap_set_tape(const char *path)
{
    listed = listed_tape{{path}, nullptr, nullptr};
    callbacks_clean_tap_update_button();
}

void callbacks_clean_tap_set_rescue(std::vector<std::string> paths,
                                    std::shared_ptr<const std::vector<std::vector<tape_take_file>>> takes,
                                    std::shared_ptr<const std::vector<tape_rescued_file>> files)
{
    listed = listed_tape{std::move(paths), std::move(takes), std::move(files)};
    callbacks_clean_tap_update_button();
}

void callbacks_clean_tap_forget(void)
{
    listed = listed_tape{};
    callbacks_clean_tap_update_button();
}

void callbacks_clean_tap_update_button(void)
{
    gtk_widget_set_sensitive(lookup_widget(window_main, "button_main_save_clean_tap"),
                             !listed.paths.empty() && !common_operation_running());
}

void on_button_main_save_clean_tap_clicked(GtkButton *, gpointer)
{
    if (listed.paths.empty() || common_operation_running())
        return;
    const std::string image = choose_image();
    if (image.empty())
        return;
    gchar *folder = g_path_get_dirname(image.c_str());
    common_remember_folder(options_folder_clean_tap, folder);
    g_free(folder);
    // A name free when the user was asked stays free: a file that appears
    // there meanwhile is kept.
    gchar *index = tap_index_path(image.c_str());
    const int replace = staged_file_look_at_target(image.c_str(), nullptr) != STAGED_TARGET_NEW ||
                        staged_file_look_at_target(index, nullptr) != STAGED_TARGET_NEW;
    g_free(index);
    auto *job = new clean_tap_job{listed, image, callbacks_format_get_values(), replace};
    callbacks_file_job_start(&clean_tap_kind, job);
}
