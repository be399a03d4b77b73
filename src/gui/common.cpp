#include "common.h"

#include "callbacks_clean_tap.h"

#include "escaped_text.h"
#include "interface.h"
#include "main.h"
#include "staged_file.h"
#include "support.h"
#include "translate.h"

void common_statusbar_update(const gchar *text)
{
    GtkStatusbar *statusbar = GTK_STATUSBAR(lookup_widget(window_main, "statusbar_main"));
    gtk_statusbar_pop(statusbar, 0);
    gtk_statusbar_push(statusbar, 0, text);
}

int common_get_user_confirmation(const gchar *message)
{
    GtkWidget *dialog = create_dialog_yes_no_confirmation();
    gtk_label_set_markup(GTK_LABEL(lookup_widget(dialog, "label_yes_no_confirmation")), message);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == GTK_RESPONSE_YES ? 1 : 0;
}

std::string common_shown_file_name(const char *path, bool base_only)
{
    gchar *display = base_only ? g_filename_display_basename(path) : g_filename_display_name(path);
    std::string shown = escaped_text(display);
    g_free(display);
    return shown;
}

gboolean common_ask_yes_no(GtkWidget *parent, const gchar *question)
{
    GtkWidget *dialog = gtk_message_dialog_new(GTK_WINDOW(parent), GTK_DIALOG_DESTROY_WITH_PARENT,
                                               GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s", question);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), flag_windows_always_on_top);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == GTK_RESPONSE_YES;
}

gboolean common_may_replace_files(GtkWidget *parent, const std::vector<std::string> &paths)
{
    std::string listed;
    for (const std::string &path : paths)
        if (staged_file_look_at_target(path.c_str(), nullptr) != STAGED_TARGET_NEW)
            listed += (listed.empty() ? "" : "\n") + common_shown_file_name(path.c_str(), true);
    if (listed.empty())
        return TRUE;
    gchar *question =
        g_strdup_printf(_("Saving would replace what exists already:\n%s\n\nReplace it?"), listed.c_str());
    const gboolean yes = common_ask_yes_no(parent, question);
    g_free(question);
    return yes;
}


void common_chooser_open_in(GtkWidget *chooser, options_folder_use use)
{
    gchar *start = nullptr;
    for (options_folder_use each : {use, options_folder_dump}) {
        const gchar *remembered = options_get_folder(each);
        if (!start && remembered && g_file_test(remembered, G_FILE_TEST_IS_DIR))
            start = g_strdup(remembered);
    }
    // A chooser given no folder opens on its list of recently used files.
    if (!start)
        start = g_get_current_dir();
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), start);
    g_free(start);
}

void common_remember_folder(options_folder_use use, const gchar *folder)
{
    if (!folder || g_strcmp0(folder, options_get_folder(use)) == 0)
        return;
    options_set_folder(use, folder);
    options_save_to_file();
}

// Whether the toolbar is busy: an operation's worker runs or its finish is
// still to come.
static int operation_running;

int common_operation_running(void)
{
    return operation_running;
}

void common_toolbar_set_operation_running(int running)
{
    operation_running = running != 0;
    static const char *const start_buttons[] = {
        "toolbutton_main_settings", "toolbutton_main_format", "toolbutton_main_monitor",
        "toolbutton_main_dump",     "toolbutton_main_open_tape", "toolbutton_main_rescue",
        "toolbutton_main_reboot",   "toolbutton_main_firmware_update",
    };
    for (const char *name : start_buttons)
        gtk_widget_set_sensitive(lookup_widget(window_main, name), !running);
    gtk_widget_set_sensitive(lookup_widget(window_main, "toolbutton_main_abort"), running != 0);
    callbacks_clean_tap_update_button();
}
