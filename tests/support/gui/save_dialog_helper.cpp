#include "save_dialog_helper.h"

#include "support.h"

std::shared_ptr<test_window_watch> test_choose_file(const std::string &folder, const std::string &name,
                                                    std::function<void(GtkWidget *)> inspect)
{
    return test_when_window_shown("filechooserdialog_save_dump", [folder, name, inspect](GtkWidget *dialog) {
        if (inspect)
            inspect(dialog);
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), folder.c_str());
        struct confirm {
            GtkWidget *dialog;
            std::string folder, name;
            int tries;
        };
        auto *step = new confirm{dialog, folder, name, 0};
        g_timeout_add_full(
            G_PRIORITY_DEFAULT, 10,
            [](gpointer data) -> gboolean {
                auto *state = static_cast<confirm *>(data);
                GtkFileChooser *chooser = GTK_FILE_CHOOSER(state->dialog);
                // The dialog still loading the folder it opened in may take
                // that folder back; ask again until the name lands here.
                gchar *shown = gtk_file_chooser_get_current_folder(chooser);
                bool ready = shown && state->folder == shown;
                if (!ready)
                    gtk_file_chooser_set_current_folder(chooser, state->folder.c_str());
                g_free(shown);
                // Typed and confirmed in one go, before the entry's
                // background completion can extend the name.
                gtk_file_chooser_set_current_name(chooser, state->name.c_str());
                // A name may hold a folder of its own ("sub/tape.DMP").
                gchar *file = ready ? gtk_file_chooser_get_filename(chooser) : nullptr;
                gchar *file_folder = file ? g_path_get_dirname(file) : nullptr;
                gchar *typed = g_build_filename(state->folder.c_str(), state->name.c_str(), nullptr);
                gchar *typed_folder = g_path_get_dirname(typed);
                ready = file_folder && g_str_equal(typed_folder, file_folder);
                g_free(typed_folder);
                g_free(typed);
                g_free(file_folder);
                g_free(file);
                if (!ready && ++state->tries < 500)
                    return TRUE;
                test_click(lookup_widget(state->dialog, "button_save_dump_ok"));
                return FALSE;
            },
            step, [](gpointer data) { delete static_cast<confirm *>(data); });
    });
}

std::shared_ptr<test_window_watch> test_answer_chooser(const char *dialog, const char *ok, const std::string &folder,
                                                       std::function<void(GtkFileChooser *)> prepare)
{
    return test_when_window_shown(dialog, [=](GtkWidget *window) {
        GtkFileChooser *chooser = GTK_FILE_CHOOSER(window);
        test_pump_until([&] {
            gchar *shown = gtk_file_chooser_get_current_folder(chooser);
            const bool there = shown && folder == shown;
            g_free(shown);
            if (!there)
                gtk_file_chooser_set_current_folder(chooser, folder.c_str());
            return there;
        });
        if (prepare)
            prepare(chooser);
        test_click(lookup_widget(window, ok));
    });
}

test_question_answerer::test_question_answerer(int response) : response(response)
{
    source = g_timeout_add(10, poll, this);
}

test_question_answerer::~test_question_answerer()
{
    g_source_remove(source);
}

gboolean test_question_answerer::poll(gpointer self)
{
    auto *answerer = static_cast<test_question_answerer *>(self);
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *item = toplevels; item; item = item->next) {
        GtkWidget *window = GTK_WIDGET(item->data);
        if (GTK_IS_MESSAGE_DIALOG(window) && gtk_widget_get_mapped(window)) {
            answerer->text = gtk_label_get_text(GTK_LABEL(GTK_MESSAGE_DIALOG(window)->label));
            answerer->keep_above = test_window_has_wm_state(window, "_NET_WM_STATE_ABOVE");
            answerer->answered++;
            gtk_dialog_response(GTK_DIALOG(window), answerer->response);
            break;
        }
    }
    g_list_free(toplevels);
    return TRUE;
}

test_cancel_after_answer::test_cancel_after_answer(const test_question_answerer &question, const char *dialog)
    : question(question), dialog(dialog)
{
    source = g_timeout_add(20, poll, this);
}

test_cancel_after_answer::~test_cancel_after_answer()
{
    if (source)
        g_source_remove(source);
}

gboolean test_cancel_after_answer::poll(gpointer self)
{
    auto *canceller = static_cast<test_cancel_after_answer *>(self);
    if (!canceller->answer_seen) {
        canceller->answer_seen = canceller->question.answered > 0;
        return TRUE;
    }
    if (GtkWidget *chooser = test_find_window(canceller->dialog.c_str()))
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
    canceller->source = 0;
    return FALSE;
}
