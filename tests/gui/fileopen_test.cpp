// The Dump save dialog: names, filters, the overwrite question, the
// remembered folder and staying on top, answered as a user would.
#include "fileopen.h"
#include "config_home.h"
#include "gui_support.h"
#include "options.h"
#include "save_dialog_helper.h"
#include "support.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <glib/gstdio.h>
#include <string>

namespace {

class SaveDialog : public gui_test {
protected:
    // Runs the dialog answered with `name` in `in_folder`; returns the path
    // given back, or "" when it returned 0.
    std::string choose(const std::string &in_folder, const std::string &name, int keep_above = 0,
                       std::function<void(GtkWidget *)> inspect = nullptr)
    {
        auto watch = test_choose_file(in_folder, name, inspect);
        gchar *path = nullptr;
        int confirmed = fileopen_save_dmp_file(&path, keep_above);
        EXPECT_EQ(watch->answered, 1);
        std::string result = confirmed ? path : "";
        EXPECT_EQ(confirmed != 0, path != nullptr);
        g_free(path);
        return result;
    }

    std::string cancel(std::function<void(GtkWidget *)> inspect)
    {
        auto watch = test_when_window_shown("filechooserdialog_save_dump", [inspect](GtkWidget *dialog) {
            inspect(dialog);
            test_click(lookup_widget(dialog, "button_save_dump_cancel"));
        });
        gchar *path = nullptr;
        int confirmed = fileopen_save_dmp_file(&path, 0);
        EXPECT_EQ(watch->answered, 1);
        EXPECT_EQ(path, nullptr);
        return confirmed ? "confirmed" : "";
    }

    // Confirms `name` in `in_folder`, answers every overwrite question No and
    // then cancels the chooser it returns to. Returns the last question's
    // text ("" when none was asked).
    std::string refuse_to_replace(const std::string &in_folder, const std::string &name,
                                  std::function<void(GtkWidget *)> inspect = nullptr)
    {
        test_question_answerer no(GTK_RESPONSE_NO);
        auto watch = test_choose_file(in_folder, name, inspect);
        test_cancel_after_answer cancel(no, "filechooserdialog_save_dump");
        gchar *path = nullptr;
        EXPECT_EQ(fileopen_save_dmp_file(&path, 0), 0);
        EXPECT_EQ(no.answered, 1);
        EXPECT_FALSE(no.keep_above);
        return no.text;
    }

    // Runs the dialog as a new user does: types `name` where it opened and
    // confirms. Records the folder it opened in ("" when it showed none, and
    // then cancels, as nothing could be saved there).
    std::string type_name_only(const std::string &name, std::string *opened_in)
    {
        auto watch = test_when_window_shown("filechooserdialog_save_dump", [name, opened_in](GtkWidget *dialog) {
            test_pump_until(
                [&] {
                    gchar *now = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
                    *opened_in = now ? now : "";
                    g_free(now);
                    return !opened_in->empty();
                },
                3000);
            if (opened_in->empty()) {
                test_click(lookup_widget(dialog, "button_save_dump_cancel"));
                return;
            }
            gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), name.c_str());
            test_click(lookup_widget(dialog, "button_save_dump_ok"));
        });
        gchar *path = nullptr;
        std::string result = fileopen_save_dmp_file(&path, 0) ? path : "";
        g_free(path);
        EXPECT_EQ(watch->answered, 1);
        return result;
    }

    std::string in(const std::string &name) const { return folder.path() + "/" + name; }

    test_folder folder;
};

TEST_F(SaveDialog, DmpEndingIsAddedUnlessTheNameHasOneInAnyCase)
{
    EXPECT_EQ(choose(folder.path(), "tape.dmp"), in("tape.dmp"));
    EXPECT_EQ(choose(folder.path(), "tape.DMP"), in("tape.DMP"));
    EXPECT_EQ(choose(folder.path(), "tape.Dmp"), in("tape.Dmp"));
    EXPECT_EQ(choose(folder.path(), "tape.dMp"), in("tape.dMp"));
    EXPECT_EQ(choose(folder.path(), "tape"), in("tape.DMP"));
    // The dialog only names the file; the Dump handler creates it.
    EXPECT_FALSE(g_file_test(in("tape.DMP").c_str(), G_FILE_TEST_EXISTS));
}

TEST_F(SaveDialog, LooksAsItShould)
{
    std::string title, filters, in_force, default_button;
    bool modal = false, ok_registered = false;
    choose(folder.path(), "x", 0, [&](GtkWidget *dialog) {
        title = gtk_window_get_title(GTK_WINDOW(dialog));
        modal = gtk_window_get_modal(GTK_WINDOW(dialog));
        GSList *list = gtk_file_chooser_list_filters(GTK_FILE_CHOOSER(dialog));
        for (GSList *item = list; item; item = item->next)
            filters += std::string("[") + gtk_file_filter_get_name(GTK_FILE_FILTER(item->data)) + "]";
        g_slist_free(list);
        in_force = gtk_file_filter_get_name(gtk_file_chooser_get_filter(GTK_FILE_CHOOSER(dialog)));
        GtkWidget *ok = lookup_widget(dialog, "button_save_dump_ok");
        ok_registered = ok && lookup_widget(dialog, "button_save_dump_cancel") &&
                        lookup_widget(dialog, "vbox_save_dump_top_most") &&
                        lookup_widget(dialog, "action_area_save_dump");
        default_button = ok && gtk_widget_has_default(ok) ? "ok" : "other";
    });
    EXPECT_EQ(title, "Save data to a DMP file");
    EXPECT_TRUE(modal);
    EXPECT_EQ(filters, "[  ZR7K dump files (*.DMP) ][  All files (*.*) ]");
    EXPECT_EQ(in_force, "  ZR7K dump files (*.DMP) ");
    EXPECT_TRUE(ok_registered);
    EXPECT_EQ(default_button, "ok");
}

TEST_F(SaveDialog, DumpFilterShowsTheThreeSpellingsOfTheEnding)
{
    GtkFileFilter *dump_filter = nullptr;
    choose(folder.path(), "x", 0, [&](GtkWidget *dialog) {
        dump_filter = gtk_file_chooser_get_filter(GTK_FILE_CHOOSER(dialog));
        g_object_ref(dump_filter);
    });
    ASSERT_NE(dump_filter, nullptr);
    auto shown = [&](const char *name) {
        GtkFileFilterInfo info{};
        info.contains = GTK_FILE_FILTER_DISPLAY_NAME;
        info.display_name = name;
        return gtk_file_filter_filter(dump_filter, &info) != FALSE;
    };
    EXPECT_TRUE(shown("a.DMP"));
    EXPECT_TRUE(shown("a.Dmp"));
    EXPECT_TRUE(shown("a.dmp"));
    EXPECT_FALSE(shown("a.dMP"));
    EXPECT_FALSE(shown("a.tap"));
    g_object_unref(dump_filter);
}

TEST_F(SaveDialog, NextDialogOpensInTheLastConfirmedFolderAndCancelKeepsIt)
{
    std::string first = folder.path() + "/first", second = folder.path() + "/second";
    g_mkdir(first.c_str(), 0700);
    g_mkdir(second.c_str(), 0700);
    choose(first, "a");

    auto current_folder = [](GtkWidget *dialog) {
        // The chooser loads the folder in the background.
        std::string shown;
        test_pump_until([&] {
            gchar *now = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
            shown = now ? now : "";
            g_free(now);
            return !shown.empty();
        });
        return shown;
    };
    std::string opened_in;
    EXPECT_EQ(cancel([&](GtkWidget *dialog) {
                  opened_in = current_folder(dialog);
                  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), second.c_str());
              }),
              "");
    EXPECT_EQ(opened_in, first);
    // The cancelled dialog's folder is not remembered.
    choose(first, "b", 0, [&](GtkWidget *dialog) { opened_in = current_folder(dialog); });
    EXPECT_EQ(opened_in, first);
}

TEST_F(SaveDialog, FirstDialogOfARunOpensInTheWorkingFolderSoATypedNameIsSaved)
{
    test_working_directory here(folder.path());
    std::string opened_in;
    EXPECT_EQ(type_name_only("gui1", &opened_in), in("gui1.DMP"));
    EXPECT_EQ(opened_in, folder.path());
}

TEST_F(SaveDialog, TheLastDumpsFolderIsKeptInAGroupOfItsOwnForTheNextRun)
{
    std::string earlier = folder.path() + "/earlier", later = folder.path() + "/later";
    g_mkdir(earlier.c_str(), 0700);
    g_mkdir(later.c_str(), 0700);
    const std::string ports = test_read_file(test_config_file());
    // As an earlier run left it; this run has confirmed nothing yet.
    test_write_file(test_config_file(), ports + "\n[dump]\nfolder=" + earlier + "\n");
    options_load_from_file();

    std::string opened_in;
    EXPECT_EQ(type_name_only("a", &opened_in), earlier + "/a.DMP");
    EXPECT_EQ(opened_in, earlier);

    choose(later, "b");
    EXPECT_EQ(test_read_file(test_config_file()), ports + "\n[dump]\nfolder=" + later + "\n");
}

TEST_F(SaveDialog, ExistingFileIsReplacedOnlyAfterYesAndTheQuestionShowsBothNames)
{
    // Names with markup characters must reach the question as they are.
    std::string odd_folder = folder.path() + "/tapes & <mine>";
    g_mkdir(odd_folder.c_str(), 0700);
    std::string existing = odd_folder + "/a<b>&c.DMP";
    ASSERT_TRUE(g_file_set_contents(existing.c_str(), "old", 3, nullptr));

    // No: back in the chooser, which the user then cancels.
    EXPECT_EQ(refuse_to_replace(odd_folder, "a<b>&c.DMP"),
              "A file named \"a<b>&c.DMP\" already exists. Do you want to replace it?\n\n"
              "The file already exists in \"tapes & <mine>\". Replacing it will overwrite its contents.");
    {
        test_question_answerer yes(GTK_RESPONSE_YES);
        EXPECT_EQ(choose(odd_folder, "a<b>&c.DMP"), existing);
        EXPECT_EQ(yes.answered, 1);
    }
}

TEST_F(SaveDialog, TheQuestionConcernsTheFileThatWillBeWritten)
{
    ASSERT_TRUE(g_file_set_contents(in("tape.DMP").c_str(), "old", 3, nullptr));
    std::string folder_name = folder.path().substr(folder.path().rfind('/') + 1);
    EXPECT_EQ(refuse_to_replace(folder.path(), "tape"),
              "A file named \"tape.DMP\" already exists. Do you want to replace it?\n\n"
              "The file already exists in \"" + folder_name + "\". Replacing it will overwrite its contents.");
    gchar *kept = nullptr;
    ASSERT_TRUE(g_file_get_contents(in("tape.DMP").c_str(), &kept, nullptr, nullptr));
    EXPECT_STREQ(kept, "old");
    g_free(kept);

    test_question_answerer yes(GTK_RESPONSE_YES);
    EXPECT_EQ(choose(folder.path(), "tape"), in("tape.DMP"));
    EXPECT_EQ(yes.answered, 1);
}

TEST_F(SaveDialog, TheQuestionNamesTheFolderTheFileIsIn)
{
    // A name typed with a folder of its own: the chooser still shows the
    // folder it was in.
    ASSERT_EQ(g_mkdir(in("sub").c_str(), 0700), 0);
    ASSERT_TRUE(g_file_set_contents(in("sub/tape.DMP").c_str(), "old", 3, nullptr));
    EXPECT_EQ(refuse_to_replace(folder.path(), "sub/tape.DMP"),
              "A file named \"tape.DMP\" already exists. Do you want to replace it?\n\n"
              "The file already exists in \"sub\". Replacing it will overwrite its contents.");
}

TEST_F(SaveDialog, TheTapChoiceIsRememberedAndItsImageIsCoveredByTheQuestion)
{
    ASSERT_TRUE(g_file_set_contents(in("tape.tap").c_str(), "old", 3, nullptr));
    auto tick = [](GtkWidget *dialog) {
        GtkWidget *box = lookup_widget(dialog, "checkbutton_save_dump_write_tap");
        EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(box)), "Also write a TAP image for emulators");
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(box), TRUE);
    };
    EXPECT_TRUE(refuse_to_replace(folder.path(), "tape.DMP", tick).starts_with("A file named \"tape.tap\""));
    EXPECT_EQ(test_read_file(test_config_file()).find("[tap]"), std::string::npos);  // cancelled: not kept

    test_question_answerer yes(GTK_RESPONSE_YES);
    EXPECT_EQ(choose(folder.path(), "tape.DMP", 0, tick), in("tape.DMP"));
    EXPECT_EQ(yes.answered, 1);
    EXPECT_NE(test_read_file(test_config_file()).find("bootloader_port=COM4\n\n[tap]\nwrite_image=true\n"),
              std::string::npos)
        << test_read_file(test_config_file());

    // The next dialog (as after a restart, which loads the file) starts ticked.
    options_load_from_file();
    bool ticked = false;
    choose(folder.path(), "other", 0, [&](GtkWidget *dialog) {
        ticked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(lookup_widget(dialog, "checkbutton_save_dump_write_tap")));
    });
    EXPECT_TRUE(ticked);
}

// The dump, its TAP image and the image's index: one question names all
// that exist, whether the dialog asks it after the chooser (the name as
// confirmed is free) or the chooser does (it exists). Names typed whole: the
// chooser may complete a prefix of a file in the folder.
TEST_F(SaveDialog, OneQuestionNamesEveryFileTheDumpWouldReplace)
{
    for (const char *name : {"tape.tap", "tape.idx"})
        ASSERT_TRUE(g_file_set_contents(in(name).c_str(), "old", 3, nullptr));
    auto tick = [](GtkWidget *dialog) {
        gtk_toggle_button_set_active(
            GTK_TOGGLE_BUTTON(lookup_widget(dialog, "checkbutton_save_dump_write_tap")), TRUE);
    };
    const std::string folder_name = folder.path().substr(folder.path().rfind('/') + 1);
    const std::string question = " files already exist. Do you want to replace them?\n\nIn \"" + folder_name + "\":\n";
    EXPECT_EQ(refuse_to_replace(folder.path(), "tape.DMP", tick),
              "2" + question + "\"tape.tap\"\n\"tape.idx\"\n\nReplacing them will overwrite their contents.");

    ASSERT_TRUE(g_file_set_contents(in("tape.DMP").c_str(), "old", 3, nullptr));
    test_question_answerer yes(GTK_RESPONSE_YES);
    EXPECT_EQ(choose(folder.path(), "tape.DMP", 0, tick), in("tape.DMP"));
    EXPECT_EQ(yes.answered, 1);
    EXPECT_EQ(yes.text, "3" + question +
                            "\"tape.DMP\"\n\"tape.tap\"\n\"tape.idx\"\n\nReplacing them will overwrite their contents.");
}

TEST_F(SaveDialog, StaysOnTopWhenAsked)
{
    ASSERT_TRUE(g_file_set_contents(in("top.DMP").c_str(), "old", 3, nullptr));
    test_question_answerer yes(GTK_RESPONSE_YES);
    bool above = false;
    EXPECT_EQ(choose(folder.path(), "top.DMP", 1,
                     [&](GtkWidget *dialog) { above = test_window_has_wm_state(dialog, "_NET_WM_STATE_ABOVE"); }),
              in("top.DMP"));
    EXPECT_TRUE(above);
    EXPECT_EQ(yes.answered, 1);
    EXPECT_TRUE(yes.keep_above);
}

}  // namespace
