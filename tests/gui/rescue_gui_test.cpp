// Rescue... and Save Clean TAP... in the real main window under Xvfb: two
// takes of one tape side, each bad alone, give their files back together;
// the clean image of the tape in the list loads good; Abort stops a rescue.
#include "callbacks_programs.h"
#include "callbacks_rescue.h"
#include "config_home.h"
#include "gui_support.h"
#include "main.h"
#include "options.h"
#include "rescue_takes.h"
#include "save_dialog_helper.h"
#include "support.h"
#include "take_reading.h"
#include "tape/dmp.h"
#include "test_pty.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool rescue_sensitive(const char *name)
{
    return gtk_widget_is_sensitive(lookup_widget(window_main, name));
}

GtkTreeModel *contents()
{
    return gtk_tree_view_get_model(GTK_TREE_VIEW(lookup_widget(window_main, "treeview_main_tape_contents")));
}

// A row as "NAME=verdict icon tooltip"; columns as the list's store has them.
std::string row_text(int index)
{
    GtkTreeIter row;
    if (!gtk_tree_model_iter_nth_child(contents(), &row, nullptr, index))
        return "";
    gchar *name = nullptr, *verdict = nullptr, *icon = nullptr, *tooltip = nullptr;
    gtk_tree_model_get(contents(), &row, 3, &name, 4, &verdict, 5, &icon, 6, &tooltip, -1);
    std::string text = std::string(name ? name : "") + "=" + (verdict ? verdict : "") + " " + (icon ? icon : "-") +
                       " " + (tooltip ? tooltip : "-");
    g_free(name);
    g_free(verdict);
    g_free(icon);
    g_free(tooltip);
    return text;
}

void record_text(GtkStatusbar *, guint, gchar *text, gpointer texts)
{
    static_cast<std::vector<std::string> *>(texts)->emplace_back(text ? text : "");
}

// Chooses every file of the folder (paths) in the Rescue dialog.
std::shared_ptr<test_window_watch> choose_takes(const std::string &folder, const std::vector<std::string> &paths)
{
    return test_answer_chooser("filechooserdialog_rescue", "button_rescue_ok", folder,
                               [paths](GtkFileChooser *chooser) {
                                   // A selection made while the folder loads may be dropped: made
                                   // again until it holds.
                                   test_pump_until([&] {
                                       GSList *chosen = gtk_file_chooser_get_filenames(chooser);
                                       const guint count = g_slist_length(chosen);
                                       g_slist_free_full(chosen, g_free);
                                       if (count != paths.size())
                                           gtk_file_chooser_select_all(chooser);
                                       return count == paths.size();
                                   });
                               });
}

class Rescue : public gui_test {
protected:
    // Two takes of the side as DMP files, damaged apart.
    void write_takes()
    {
        std::string error;
        ASSERT_TRUE(dmp_write_file(first.c_str(), rescue_take({5, 9}, 3, 0), &error)) << error;
        ASSERT_TRUE(dmp_write_file(second.c_str(), rescue_take({200, 310}, 8, 20), &error)) << error;
    }

    bool resting() { return rescue_sensitive("toolbutton_main_rescue") && !rescue_sensitive("toolbutton_main_abort"); }

    test_folder folder;
    const std::string first = folder.path() + "/side A take 1.DMP";
    const std::string second = folder.path() + "/side A take 2.DMP";
};

TEST_F(Rescue, TwoTakesFillTheListAndTheCleanImageLoadsGood)
{
    write_takes();
    EXPECT_FALSE(rescue_sensitive("button_main_save_clean_tap")) << "no tape in the list yet";
    std::vector<std::string> shown;
    test_connection recorder(lookup_widget(window_main, "statusbar_main"), "text-pushed", G_CALLBACK(record_text),
                             &shown);
    auto chosen = choose_takes(folder.path(), {first, second});
    test_click(lookup_widget(window_main, "toolbutton_main_rescue"));
    EXPECT_FALSE(rescue_sensitive("toolbutton_main_monitor")) << "the toolbar is busy while the worker reads";
    EXPECT_TRUE(rescue_sensitive("toolbutton_main_abort"));
    ASSERT_TRUE(test_pump_until([&] { return resting(); }));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front().rfind(" Reading take 1 of 2, side A take 1.DMP", 0), 0u) << shown.front();
    EXPECT_EQ(test_statusbar_text(), " 2 takes combined: 2 rescued, 1 bad");
    EXPECT_NE(test_read_file(test_config_file()).find("[rescue]\nfolder=" + folder.path() + "\n"),
              std::string::npos);

    const std::string rescued_tip = " gtk-copy No take read this file alone: the takes together gave it back";
    EXPECT_EQ(row_text(0), "ROM FILE=rescued" + rescued_tip);
    EXPECT_EQ(row_text(1), "TURBO FILE=rescued" + rescued_tip);
    EXPECT_EQ(row_text(2), "STUCK=bad gtk-dialog-error -");
    ASSERT_NE(callbacks_programs_of(2), nullptr);
    EXPECT_EQ(callbacks_programs_of(2)->bytes, rescue_turbo_program);
    EXPECT_EQ(callbacks_programs_of(3), nullptr);
    EXPECT_TRUE(rescue_sensitive("button_main_save_all_programs"));

    // The clean image: an index of that name exists, and the one question
    // that names it is answered Yes.
    ASSERT_TRUE(rescue_sensitive("button_main_save_clean_tap"));
    const std::string image = folder.path() + "/clean.tap";
    test_write_file(folder.path() + "/clean.idx", "old index");
    {
        test_question_answerer yes(GTK_RESPONSE_YES);
        auto named = test_answer_chooser("filechooserdialog_save_clean_tap", "button_save_clean_tap_ok",
                                         folder.path(), [](GtkFileChooser *chooser) {
                                             // Whole: the entry completes a typed prefix of a
                                             // name in the folder ("clean" to "clean.idx").
                                             gtk_file_chooser_set_current_name(chooser, "clean.tap");
                                         });
        test_click(lookup_widget(window_main, "button_main_save_clean_tap"));
        ASSERT_TRUE(test_pump_until([&] { return resting(); }));
        EXPECT_EQ(yes.answered, 1);
        EXPECT_NE(yes.text.find("clean.idx"), std::string::npos) << yes.text;
    }
    EXPECT_EQ(test_statusbar_text(), " Clean TAP image saved: clean.tap, 2 files written afresh");
    const std::vector<tape_take_file> clean = test_read_take(image);
    ASSERT_EQ(clean.size(), 3u);
    EXPECT_EQ(clean[0].verdict, tape_verdict_good);
    EXPECT_EQ(clean[0].program, rescue_rom_program);
    EXPECT_EQ(clean[1].verdict, tape_verdict_good);
    EXPECT_EQ(clean[1].program, rescue_turbo_program);
    EXPECT_NE(test_read_file(folder.path() + "/clean.idx").find("TURBO FILE"), std::string::npos);
    EXPECT_EQ(options_get_folder(options_folder_clean_tap), folder.path());
}

// Abort while the takes are read: the rescue stops, the list stays empty, and
// nothing is left for Save Clean TAP.
TEST_F(Rescue, AbortStopsItWhileItReads)
{
    // Takes long enough to be read still when Abort comes.
    const std::vector<unsigned short> long_take(32u << 20, 0x180);
    std::string error;
    ASSERT_TRUE(dmp_write_file(first.c_str(), long_take, &error)) << error;
    ASSERT_TRUE(dmp_write_file(second.c_str(), long_take, &error)) << error;
    auto chosen = choose_takes(folder.path(), {first, second});
    test_click(lookup_widget(window_main, "toolbutton_main_rescue"));
    ASSERT_TRUE(rescue_sensitive("toolbutton_main_abort"));
    test_click(lookup_widget(window_main, "toolbutton_main_abort"));
    ASSERT_TRUE(test_pump_until([&] { return resting(); }));
    EXPECT_EQ(test_statusbar_text(), " Operation aborted");
    EXPECT_EQ(gtk_tree_model_iter_n_children(contents(), nullptr), 0);
    EXPECT_FALSE(rescue_sensitive("button_main_save_clean_tap"));
}

// One take is no rescue: refused without a worker.
TEST_F(Rescue, RefusesASingleTake)
{
    write_takes();
    callbacks_rescue_start({first});
    EXPECT_EQ(test_statusbar_text(), " A rescue needs two or more takes of the same tape side");
    EXPECT_TRUE(resting());
}

// A chooser opens where it was last used, else in the last dump's folder.
TEST_F(Rescue, ChoosersOpenWhereTheyWereLastUsedElseInTheDumpFolder)
{
    const std::string dumps = folder.path() + "/dumps", tapes = folder.path() + "/tapes";
    g_mkdir(dumps.c_str(), 0700);
    g_mkdir(tapes.c_str(), 0700);
    options_set_folder(options_folder_dump, dumps.c_str());
    // Whether the chooser comes to show `expected` (it looks its folder up in
    // the background, and may show another one meanwhile).
    const auto opens_in = [](const char *dialog, const char *button, const std::string &expected) {
        bool there = false;
        auto watch = test_when_window_shown(dialog, [&](GtkWidget *window) {
            there = test_pump_until([&] {
                gchar *current = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(window));
                const bool shown = current && expected == current;
                g_free(current);
                return shown;
            });
            gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_CANCEL);
        });
        test_click(lookup_widget(window_main, button));
        return there;
    };
    EXPECT_TRUE(opens_in("filechooserdialog_open_tape", "toolbutton_main_open_tape", dumps));
    EXPECT_TRUE(opens_in("filechooserdialog_rescue", "toolbutton_main_rescue", dumps));
    options_set_folder(options_folder_open_tape, tapes.c_str());
    EXPECT_TRUE(opens_in("filechooserdialog_open_tape", "toolbutton_main_open_tape", tapes));
}

}  // namespace
