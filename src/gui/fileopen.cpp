#include "fileopen.h"

#include "common.h"
#include "interface.h"
#include "main.h"
#include "options.h"
#include "staged_file.h"
#include "support.h"
#include "tape/dmp.h"
#include "tape/tap_index_file.h"
#include "tape/tap_writer.h"
#include "translate.h"

#include <string.h>

#include <string>
#include <vector>

// The folder shown when the last choice of this run was confirmed (file-name
// encoding), kept on the main window under this key, so that it lasts as long
// as the run; absent before the first confirmed choice.
static const char last_folder_key[] = "zr7k8-last-dump-folder";

static const gchar *utf8_path_lastopenfolder(void)
{
    return window_main ? static_cast<const gchar *>(g_object_get_data(G_OBJECT(window_main), last_folder_key))
                       : nullptr;
}

static const int stay_on_top = 2;
static const int not_on_top = 1;

static void add_filter(GtkWidget *dialog, const gchar *name, const gchar *const *patterns)
{
    GtkFileFilter *filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, name);
    for (; *patterns; patterns++)
        gtk_file_filter_add_pattern(filter, *patterns);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
}

// Where the dialog opens: the folder of the last choice of this run, else
// that of the last dump of an earlier run (kept in the settings), else the
// working folder. A chooser given no folder opens on its list of recently used
// files, which is no folder: a name typed there cannot be saved.
static gchar *open_dialog_start_folder(void)
{
    if (const gchar *last = utf8_path_lastopenfolder())
        return g_strdup(last);
    const gchar *remembered = options_get_dump_folder();
    if (remembered && g_file_test(remembered, G_FILE_TEST_IS_DIR))
        return g_strdup(remembered);
    return g_get_current_dir();
}

// Runs the question with this markup; TRUE on Yes. data as for
// confirm_overwrite_callback.
static gboolean ask(GtkWidget *chooser, const gchar *markup, gpointer data)
{
    GtkWidget *question = gtk_message_dialog_new(GTK_WINDOW(chooser), GTK_DIALOG_DESTROY_WITH_PARENT,
                                                 GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, nullptr);
    gtk_message_dialog_set_markup(GTK_MESSAGE_DIALOG(question), markup);
    gtk_window_set_keep_above(GTK_WINDOW(question), GPOINTER_TO_INT(data) == stay_on_top);
    gint response = gtk_dialog_run(GTK_DIALOG(question));
    gtk_widget_destroy(question);
    return response == GTK_RESPONSE_YES;
}

// The files a dump to `dump` would replace: the dump itself and, with the
// TAP image wanted, the image and its index, each where its name is taken
// (by anything: what is no regular file is refused when it is written).
static std::vector<std::string> files_replaced(const gchar *dump, gboolean tap_wanted)
{
    std::vector<std::string> written{dump};
    if (tap_wanted) {
        gchar *tap = tap_path_beside_dump(dump);
        gchar *index = tap_index_path(tap);
        written.insert(written.end(), {tap, index});
        g_free(index);
        g_free(tap);
    }
    std::vector<std::string> replaced;
    for (const std::string &path : written)
        if (staged_file_look_at_target(path.c_str(), nullptr) != STAGED_TARGET_NEW)
            replaced.push_back(path);
    return replaced;
}

// One question naming every file in `files` (all in one folder, at least
// one); TRUE on Yes. data as for confirm_overwrite_callback.
static gboolean ask_to_replace(GtkWidget *chooser, const std::vector<std::string> &files, gpointer data)
{
    gchar *folder = g_path_get_dirname(files.front().c_str());
    const std::string folder_name = common_shown_file_name(folder, true);
    g_free(folder);
    gchar *markup;
    if (files.size() == 1) {
        markup = g_markup_printf_escaped(
            _("<span size=\"x-large\"><b>A file named \"%s\" already exists. Do you want to replace it?</b></span>"
              "\n\nThe file already exists in \"%s\". Replacing it will overwrite its contents."),
            common_shown_file_name(files.front().c_str(), true).c_str(), folder_name.c_str());
    } else {
        std::string names;
        for (const std::string &file : files)
            names += std::string(names.empty() ? "" : "\n") + "\"" + common_shown_file_name(file.c_str(), true) + "\"";
        markup = g_markup_printf_escaped(
            P_("<span size=\"x-large\"><b>%u file already exists. Do you want to replace it?</b></span>\n\n"
               "In \"%s\":\n%s\n\nReplacing it will overwrite its contents.",
               "<span size=\"x-large\"><b>%u files already exist. Do you want to replace them?</b></span>\n\n"
               "In \"%s\":\n%s\n\nReplacing them will overwrite their contents.",
               files.size()),
            unsigned(files.size()), folder_name.c_str(), names.c_str());
    }
    const gboolean yes = ask(chooser, markup, data);
    g_free(markup);
    return yes;
}

// Set on the chooser while its own overwrite question (which names every
// file) has been answered Yes for the name it now returns.
static const char asked_key[] = "zr7k8-replacing-asked";

static gboolean tap_wanted_in(GtkWidget *chooser)
{
    return gtk_toggle_button_get_active(
        GTK_TOGGLE_BUTTON(lookup_widget(chooser, "checkbutton_save_dump_write_tap")));
}

// TRUE when the files the dump would replace may be: none, the chooser's
// own question said Yes already, or the one question about them does.
static gboolean may_write_files(GtkWidget *chooser, const gchar *dump, gpointer data)
{
    if (g_object_get_data(G_OBJECT(chooser), asked_key))
        return TRUE;
    const std::vector<std::string> files = files_replaced(dump, tap_wanted_in(chooser));
    return files.empty() || ask_to_replace(chooser, files, data);
}

int fileopen_save_dmp_file(gchar **path, int keep_above)
{
    GtkWidget *dialog = create_filechooserdialog_save_dump();
    static const gchar *const dump_patterns[] = {"*.DMP", "*.Dmp", "*.dmp", nullptr};
    static const gchar *const all_patterns[] = {"*", nullptr};
    add_filter(dialog, _("  ZR7K dump files (*.DMP) "), dump_patterns);
    add_filter(dialog, _("  All files (*.*) "), all_patterns);
    gchar *folder = open_dialog_start_folder();
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), folder);
    g_free(folder);
    gpointer question_data = GINT_TO_POINTER(keep_above ? stay_on_top : not_on_top);
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(dialog), TRUE);
    g_signal_connect(dialog, "confirm-overwrite", G_CALLBACK(confirm_overwrite_callback), question_data);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), keep_above ? TRUE : FALSE);
    GtkToggleButton *write_tap = GTK_TOGGLE_BUTTON(lookup_widget(dialog, "checkbutton_save_dump_write_tap"));
    gtk_toggle_button_set_active(write_tap, options_get_write_tap_image());

    gchar *dump = nullptr;
    while (!dump) {
        g_object_set_data(G_OBJECT(dialog), asked_key, nullptr);
        if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_OK) {
            gtk_widget_destroy(dialog);
            return 0;
        }
        gchar *chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        if (!chosen) {
            // A location that is not a local file: nothing can be written there.
            gtk_widget_destroy(dialog);
            return 0;
        }
        dump = dmp_path_with_ending(chosen);
        // No: back to the chooser, nothing touched.
        if (!may_write_files(dialog, dump, question_data)) {
            g_free(dump);
            dump = nullptr;
        }
        g_free(chosen);
    }
    *path = dump;
    gchar *shown_folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
    if (window_main)
        g_object_set_data_full(G_OBJECT(window_main), last_folder_key, g_strdup(shown_folder), g_free);
    gboolean tap_wanted = gtk_toggle_button_get_active(write_tap);
    const gchar *kept_folder = options_get_dump_folder();
    if (tap_wanted != options_get_write_tap_image() || g_strcmp0(shown_folder, kept_folder) != 0) {
        options_set_write_tap_image(tap_wanted);
        options_set_dump_folder(shown_folder);
        options_save_to_file();
    }
    g_free(shown_folder);
    gtk_widget_destroy(dialog);
    return 1;
}

GtkFileChooserConfirmation confirm_overwrite_callback(GtkFileChooser *chooser, gpointer data)
{
    gchar *file = gtk_file_chooser_get_filename(chooser);
    if (!file)
        return GTK_FILE_CHOOSER_CONFIRMATION_SELECT_AGAIN;
    // What the dump would really replace: the name as confirmed may be
    // another file (".DMP" is added) and the image and index come beside it.
    gchar *dump = dmp_path_with_ending(file);
    const std::vector<std::string> files = files_replaced(dump, tap_wanted_in(GTK_WIDGET(chooser)));
    g_free(dump);
    g_free(file);
    if (files.empty())
        return GTK_FILE_CHOOSER_CONFIRMATION_ACCEPT_FILENAME;
    if (!ask_to_replace(GTK_WIDGET(chooser), files, data))
        return GTK_FILE_CHOOSER_CONFIRMATION_SELECT_AGAIN;
    g_object_set_data(G_OBJECT(chooser), asked_key, GINT_TO_POINTER(1));
    return GTK_FILE_CHOOSER_CONFIRMATION_ACCEPT_FILENAME;
}
