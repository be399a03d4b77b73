#include "fileopen.h"

#include "interface.h"
#include "support.h"
#include "translate.h"

#include <string.h>

// The folder shown when the last choice was confirmed (file-name encoding),
// or null before the first one.
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

// A name keeps an exact ".DMP" or ".dmp" ending; any other gets ".DMP".
static gchar *with_dmp_ending(const gchar *name)
{
    if (g_str_has_suffix(name, ".DMP") || g_str_has_suffix(name, ".dmp"))
        return g_strdup(name);
    return g_strdup_printf("%s.DMP", name);
}

int fileopen_save_dmp_file(gchar **path, int keep_above)
{
    GtkWidget *dialog = create_filechooserdialog_save_dump();
    static const gchar *const dump_patterns[] = {"*.DMP", "*.Dmp", "*.dmp", nullptr};
    static const gchar *const all_patterns[] = {"*", nullptr};
    add_filter(dialog, _("  ZR7K dump files (*.DMP) "), dump_patterns);
    add_filter(dialog, _("  All files (*.*) "), all_patterns);
    if (utf8_path_lastopenfolder)
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), utf8_path_lastopenfolder);
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(dialog), TRUE);
    g_signal_connect(dialog, "confirm-overwrite", G_CALLBACK(confirm_overwrite_callback),
                     GINT_TO_POINTER(keep_above ? stay_on_top : not_on_top));
    gtk_window_set_keep_above(GTK_WINDOW(dialog), keep_above ? TRUE : FALSE);

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
    *path = with_dmp_ending(chosen);
    g_free(chosen);
    g_free(utf8_path_lastopenfolder);
    utf8_path_lastopenfolder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
    gtk_widget_destroy(dialog);
    return 1;
}

GtkFileChooserConfirmation confirm_overwrite_callback(GtkFileChooser *chooser, gpointer data)
{
    gchar *file = gtk_file_chooser_get_filename(chooser);
    gchar *folder = gtk_file_chooser_get_current_folder(chooser);
    gchar *file_name = g_filename_display_basename(file ? file : "");
    gchar *folder_name = g_filename_display_basename(folder ? folder : "");
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
    g_free(folder);
    g_free(file);
    return response == GTK_RESPONSE_YES ? GTK_FILE_CHOOSER_CONFIRMATION_ACCEPT_FILENAME
                                        : GTK_FILE_CHOOSER_CONFIRMATION_SELECT_AGAIN;
}
