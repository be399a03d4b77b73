#include "fileopen.h"

#include "interface.h"
#include "options.h"
#include "support.h"
#include "tape/dmp.h"
#include "tape/tap_writer.h"
#include "translate.h"

#include <string.h>

// The folder shown when the last choice was confirmed (file-name encoding),
// or null before the first one of the run.
static gchar *utf8_path_lastopenfolder;

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
static gchar *start_folder(void)
{
    if (utf8_path_lastopenfolder)
        return g_strdup(utf8_path_lastopenfolder);
    const gchar *remembered = options_get_dump_folder();
    if (remembered && g_file_test(remembered, G_FILE_TEST_IS_DIR))
        return g_strdup(remembered);
    return g_get_current_dir();
}

// Asks whether to replace `file` in `folder`; TRUE on Yes. data as for
// confirm_overwrite_callback.
static gboolean ask_to_replace(GtkWidget *chooser, const gchar *file, const gchar *folder, gpointer data)
{
    gchar *file_name = g_filename_display_basename(file);
    gchar *folder_name = g_filename_display_basename(folder);
    gchar *markup = g_markup_printf_escaped(
        _("<span size=\"x-large\"><b>A file named \"%s\" already exists. Do you want to replace it?</b></span>\n\n"
          "The file already exists in \"%s\". Replacing it will overwrite its contents."),
        file_name, folder_name);

    GtkWidget *question = gtk_message_dialog_new(GTK_WINDOW(chooser), GTK_DIALOG_DESTROY_WITH_PARENT,
                                                 GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, nullptr);
    gtk_message_dialog_set_markup(GTK_MESSAGE_DIALOG(question), markup);
    gtk_window_set_keep_above(GTK_WINDOW(question), GPOINTER_TO_INT(data) == stay_on_top);
    gint response = gtk_dialog_run(GTK_DIALOG(question));
    gtk_widget_destroy(question);

    g_free(markup);
    g_free(folder_name);
    g_free(file_name);
    return response == GTK_RESPONSE_YES;
}

// TRUE when path does not exist or the user agrees to replace it.
static gboolean may_replace(GtkWidget *chooser, const gchar *path, gpointer data)
{
    if (!g_file_test(path, G_FILE_TEST_EXISTS))
        return TRUE;
    gchar *folder = g_path_get_dirname(path);
    gboolean yes = ask_to_replace(chooser, path, folder, data);
    g_free(folder);
    return yes;
}

// The chooser asked about the name as confirmed; the dump (when ".DMP" was
// added) and its TAP image are other files, and each one that exists is
// asked about in turn. TRUE when all may be written.
static gboolean may_write_files(GtkWidget *chooser, const gchar *chosen, const gchar *dump, gboolean tap_wanted,
                                gpointer data)
{
    if (strcmp(dump, chosen) != 0 && !may_replace(chooser, dump, data))
        return FALSE;
    if (!tap_wanted)
        return TRUE;
    gchar *tap = tap_path_beside_dump(dump);
    gboolean yes = may_replace(chooser, tap, data);
    g_free(tap);
    return yes;
}

int fileopen_save_dmp_file(gchar **path, int keep_above)
{
    GtkWidget *dialog = create_filechooserdialog_save_dump();
    static const gchar *const dump_patterns[] = {"*.DMP", "*.Dmp", "*.dmp", nullptr};
    static const gchar *const all_patterns[] = {"*", nullptr};
    add_filter(dialog, _("  ZR7K dump files (*.DMP) "), dump_patterns);
    add_filter(dialog, _("  All files (*.*) "), all_patterns);
    gchar *folder = start_folder();
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
        if (!may_write_files(dialog, chosen, dump, gtk_toggle_button_get_active(write_tap), question_data)) {
            g_free(dump);
            dump = nullptr;
        }
        g_free(chosen);
    }
    *path = dump;
    g_free(utf8_path_lastopenfolder);
    utf8_path_lastopenfolder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
    gboolean tap_wanted = gtk_toggle_button_get_active(write_tap);
    const gchar *kept_folder = options_get_dump_folder();
    if (tap_wanted != options_get_write_tap_image() ||
        g_strcmp0(utf8_path_lastopenfolder, kept_folder) != 0) {
        options_set_write_tap_image(tap_wanted);
        options_set_dump_folder(utf8_path_lastopenfolder);
        options_save_to_file();
    }
    gtk_widget_destroy(dialog);
    return 1;
}

GtkFileChooserConfirmation confirm_overwrite_callback(GtkFileChooser *chooser, gpointer data)
{
    gchar *file = gtk_file_chooser_get_filename(chooser);
    // The folder the file lies in; the chooser's current folder may not be
    // known yet (a typed name) and would be named ".".
    gchar *folder = file ? g_path_get_dirname(file) : nullptr;
    gboolean yes = ask_to_replace(GTK_WIDGET(chooser), file ? file : "", folder ? folder : "", data);
    g_free(folder);
    g_free(file);
    return yes ? GTK_FILE_CHOOSER_CONFIRMATION_ACCEPT_FILENAME : GTK_FILE_CHOOSER_CONFIRMATION_SELECT_AGAIN;
}
