#include "callbacks_programs.h"

#include "callbacks_contents.h"
#include "common.h"
#include "interface.h"
#include "main.h"
#include "options.h"
#include "staged_file.h"
#include "support.h"
#include "translate.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// The programs of the rows, by sequence number: in tape order.
std::map<guint, tape_program> programs;

// The folder programs were last saved to in this run, else the settings',
// else the working folder. A chooser given no folder opens on its list of
// recently used files, where a typed name cannot be saved.
gchar *start_folder(void)
{
    const gchar *remembered = options_get_programs_folder();
    if (remembered && g_file_test(remembered, G_FILE_TEST_IS_DIR))
        return g_strdup(remembered);
    return g_get_current_dir();
}

void say(const gchar *text)
{
    common_statusbar_update(text);
}

// Writes one program, replacing a file there only when replace; says what
// happened. TRUE when written.
gboolean write_program(const std::string &path, const tape_program &program, bool replace)
{
    std::string error;
    const std::string shown = common_shown_file_name(path.c_str(), false);
    gchar *text = program_file_write(path, program, replace, &error)
                      ? g_strdup_printf(_(" Program saved: %s"), shown.c_str())
                      : g_strdup_printf(_(" Program not saved: %s: %s"), shown.c_str(), error.c_str());
    say(text);
    const gboolean written = error.empty();
    g_free(text);
    return written;
}

// The file names of all kept programs, in tape order; the one of `sequence`
// in *chosen when given.
std::vector<std::string> file_names(guint sequence = 0, std::string *chosen = nullptr)
{
    std::vector<std::string> names;
    for (const auto &[row, program] : programs) {
        const std::string name = program_file_name_next(program.name.data(), &names);
        if (chosen && row == sequence)
            *chosen = name;
    }
    return names;
}

void save_program(guint sequence)
{
    const tape_program *program = callbacks_programs_of(sequence);
    if (!program)
        return;
    std::string name;
    file_names(sequence, &name);
    GtkWidget *dialog = create_filechooserdialog_save_program();
    gchar *folder = start_folder();
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), folder);
    g_free(folder);
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), name.c_str());
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(dialog), TRUE);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        gchar *path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        // The chooser asked before a file was replaced.
        if (path && write_program(path, *program, true)) {
            gchar *chosen_folder = g_path_get_dirname(path);
            common_remember_folder(options_folder_programs, chosen_folder);
            g_free(chosen_folder);
        }
        g_free(path);
    }
    gtk_widget_destroy(dialog);
}

// What the targets of Save All Programs hold before anything is written.
struct targets_seen {
    std::vector<staged_target> what; // per path
    std::string existing, obstacles; // their base names, one per line
};

targets_seen look_at_targets(const std::vector<std::string> &paths)
{
    targets_seen seen;
    for (const std::string &path : paths) {
        const staged_target target = staged_file_look_at_target(path.c_str(), nullptr);
        seen.what.push_back(target);
        if (target == STAGED_TARGET_NEW)
            continue;
        std::string &list = target == STAGED_TARGET_FILE ? seen.existing : seen.obstacles;
        list += (list.empty() ? "" : "\n") + common_shown_file_name(path.c_str(), true);
    }
    return seen;
}

// TRUE when nothing is in the way, or the user agrees to replace the files
// there and to leave out the programs whose names hold something that is no
// file (a folder, a FIFO...), which nothing replaces. One question for all.
gboolean may_write_all(GtkWidget *parent, const std::vector<std::string> &paths, const targets_seen &seen)
{
    if (seen.obstacles.empty())
        return common_may_replace_files(parent, paths);
    gchar *question =
        seen.existing.empty()
            ? g_strdup_printf(_("These names hold something that is not a file, which saving cannot replace: "
                                "their programs would not be saved:\n%s\n\nSave the other programs?"),
                              seen.obstacles.c_str())
            : g_strdup_printf(_("Saving would replace what exists already:\n%s\n\nThese names hold something "
                                "that is not a file, which saving cannot replace: their programs would not be "
                                "saved:\n%s\n\nReplace the files and save the other programs?"),
                              seen.existing.c_str(), seen.obstacles.c_str());
    const gboolean yes = common_ask_yes_no(parent, question);
    g_free(question);
    return yes;
}

// Writes every program it may (replacing only the files the question named)
// and says in the status bar how many were saved and which were not.
// Returns how many were saved.
size_t write_all(const gchar *folder, const std::vector<std::string> &paths, const targets_seen &seen)
{
    size_t written = 0;
    std::string missed;
    auto program = programs.begin();
    for (size_t i = 0; i < paths.size(); ++i, ++program) {
        std::string error;
        if (seen.what[i] != STAGED_TARGET_REFUSED &&
            program_file_write(paths[i], program->second, seen.what[i] == STAGED_TARGET_FILE, &error)) {
            ++written;
            continue;
        }
        missed += (missed.empty() ? "" : ", ") + common_shown_file_name(paths[i].c_str(), true);
    }
    const std::string shown_folder = common_shown_file_name(folder, false);
    gchar *text = missed.empty() ? g_strdup_printf(_(" Programs saved in %s: %u"), shown_folder.c_str(),
                                                   unsigned(written))
                                 : g_strdup_printf(_(" Programs saved in %s: %u of %u; not saved: %s"),
                                                   shown_folder.c_str(), unsigned(written), unsigned(paths.size()),
                                                   missed.c_str());
    say(text);
    g_free(text);
    return written;
}

}  // namespace

void callbacks_programs_keep(const tape_file_event *record)
{
    if (!record->program)
        return;
    tape_program &program = programs[record->sequence];
    std::memcpy(program.name.data(), record->name, program.name.size());
    program.load_address = record->load_address;
    program.bytes.assign(record->program, record->program + record->program_length);
    callbacks_programs_update_buttons();
}

void callbacks_programs_clear(void)
{
    programs.clear();
    callbacks_programs_update_buttons();
}

const tape_program *callbacks_programs_of(guint sequence)
{
    const auto found = programs.find(sequence);
    return found == programs.end() ? nullptr : &found->second;
}

void callbacks_programs_update_buttons(void)
{
    guint sequence = 0;
    const bool selected = callbacks_contents_selected(&sequence);
    gtk_widget_set_sensitive(lookup_widget(window_main, "button_main_save_program"),
                             selected && callbacks_programs_of(sequence));
    gtk_widget_set_sensitive(lookup_widget(window_main, "button_main_save_all_programs"), !programs.empty());
}

void on_button_main_save_program_clicked(GtkButton *, gpointer)
{
    guint sequence = 0;
    if (callbacks_contents_selected(&sequence))
        save_program(sequence);
}

void on_treeview_main_tape_contents_row_activated(GtkTreeView *, GtkTreePath *path, GtkTreeViewColumn *, gpointer)
{
    guint sequence = 0;
    if (callbacks_contents_sequence_at(path, &sequence))
        save_program(sequence);
}

void on_button_main_save_all_programs_clicked(GtkButton *, gpointer)
{
    if (programs.empty())
        return;
    GtkWidget *dialog = create_filechooserdialog_save_all_programs();
    gchar *start = start_folder();
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), start);
    g_free(start);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        // The folder selected in the list, else the one shown.
        gchar *folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        if (!folder)
            folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
        if (!folder)
            break;
        std::vector<std::string> paths;
        for (const std::string &name : file_names()) {
            gchar *path = g_build_filename(folder, name.c_str(), nullptr);
            paths.push_back(path);
            g_free(path);
        }
        // Every target is looked at before anything is written. No: back to
        // the chooser, nothing written.
        const targets_seen seen = look_at_targets(paths);
        if (!may_write_all(dialog, paths, seen)) {
            g_free(folder);
            continue;
        }
        if (write_all(folder, paths, seen) > 0)
            common_remember_folder(options_folder_programs, folder);
        g_free(folder);
        break;
    }
    gtk_widget_destroy(dialog);
}
