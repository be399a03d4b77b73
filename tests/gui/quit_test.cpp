// Both ways of quitting: the Quit button and the window manager's close, each
// behind "Are you sure you want to quit?".
#include "config_home.h"
#include "gui_support.h"
#include "main.h"
#include "options.h"
#include "support.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>

namespace {

class Quit : public gui_test {
protected:
    // The settings in memory differ from the file, and the file is gone, so
    // that any save shows.
    void SetUp() override
    {
        gui_test::SetUp();
        g_free(options_device_port_string);
        options_device_port_string = g_strdup("ttyUSB7");
        ASSERT_EQ(g_unlink(test_config_file().c_str()), 0);
    }

    static bool settings_file_written()
    {
        return g_file_test(test_config_file().c_str(), G_FILE_TEST_EXISTS);
    }

    static void click_quit() { test_click(lookup_widget(window_main, "toolbutton_main_quit")); }
};

const char question[] = "Are you sure you want to quit?";

TEST_F(Quit, ButtonAnsweredNoChangesNothing)
{
    std::string asked;
    auto answer = test_when_window_shown("dialog_yes_no_confirmation", [&](GtkWidget *dialog) {
        asked = test_label_text(lookup_widget(dialog, "label_yes_no_confirmation"));
        test_click(lookup_widget(dialog, "button_yes_no_confirmation_no"));
    });
    bool loop_still_running = false;

    bool ended_by_code = test_run_main_loop([&] {
        click_quit();
        test_end_loop_later(&loop_still_running);
    });

    EXPECT_TRUE(ended_by_code);
    EXPECT_EQ(answer->answered, 1);
    EXPECT_EQ(asked, question);
    EXPECT_TRUE(loop_still_running);
    EXPECT_FALSE(settings_file_written());
    EXPECT_EQ(flag_abort_requested, 0);
    EXPECT_TRUE(gtk_widget_get_mapped(window_main));
    EXPECT_EQ(test_find_window("dialog_yes_no_confirmation"), nullptr);
}

TEST_F(Quit, ButtonAnsweredYesSavesSettingsAndEndsTheLoop)
{
    auto answer = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_yes");

    bool ended_by_code = test_run_main_loop(click_quit);

    EXPECT_TRUE(ended_by_code);
    EXPECT_EQ(answer->answered, 1);
    EXPECT_EQ(flag_abort_requested, 1);
    EXPECT_NE(test_read_file(test_config_file()).find("device_port=ttyUSB7\n"), std::string::npos);
}

TEST_F(Quit, ButtonWithQuestionClosedByWindowManagerCountsAsNo)
{
    auto answer = test_when_window_shown("dialog_yes_no_confirmation", [](GtkWidget *dialog) {
        test_send_wm_delete(dialog);
    });
    bool loop_still_running = false;

    test_run_main_loop([&] {
        click_quit();
        test_end_loop_later(&loop_still_running);
    });

    EXPECT_EQ(answer->answered, 1);
    EXPECT_TRUE(loop_still_running);
    EXPECT_FALSE(settings_file_written());
    EXPECT_EQ(flag_abort_requested, 0);
}

TEST_F(Quit, WindowCloseAnsweredNoKeepsTheWindowOpen)
{
    auto answer = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_no");
    bool loop_still_running = false;

    test_run_main_loop([&] {
        test_send_wm_delete(window_main);
        test_pump_until([&] { return answer->answered == 1 && !test_find_window("dialog_yes_no_confirmation"); });
        test_end_loop_later(&loop_still_running);
    });

    EXPECT_EQ(answer->answered, 1);
    EXPECT_TRUE(loop_still_running);
    ASSERT_TRUE(GTK_IS_WINDOW(window_main));
    EXPECT_TRUE(gtk_widget_get_mapped(window_main));
    EXPECT_FALSE(settings_file_written());
    EXPECT_EQ(flag_abort_requested, 0);
}

TEST_F(Quit, WindowCloseAnsweredYesSavesDestroysTheWindowAndEndsTheLoop)
{
    auto answer = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_yes");
    bool destroyed = false;
    g_signal_connect(window_main, "destroy", G_CALLBACK(+[](GtkWidget *, gpointer data) {
                         *static_cast<bool *>(data) = true;
                     }), &destroyed);

    bool ended_by_code = test_run_main_loop([] { test_send_wm_delete(window_main); });

    EXPECT_TRUE(ended_by_code);
    EXPECT_EQ(answer->answered, 1);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(flag_abort_requested, 1);
    EXPECT_NE(test_read_file(test_config_file()).find("device_port=ttyUSB7\n"), std::string::npos);
}

}  // namespace
