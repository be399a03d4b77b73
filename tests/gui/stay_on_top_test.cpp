// "Stay on top" keeps the main window, both settings windows and the dialogs
// built later above other windows. Without a window manager under Xvfb this
// is observed at the X level: a window mapped while the flag is on carries
// _NET_WM_STATE_ABOVE from the start; a window already mapped asks the window
// manager for it with a _NET_WM_STATE message to the root window.
#include "gui_support.h"
#include "main.h"
#include "support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char above[] = "_NET_WM_STATE_ABOVE";

class StayOnTop : public gui_test {
protected:
    static void toggle() { test_click(lookup_widget(window_main, "toolbutton_main_stay_on_top")); }

    // Shows a settings window through its tool button, reads its state, and
    // closes it again the way the window manager does.
    static bool shown_with_keep_above(const char *tool_button, GtkWidget *window)
    {
        test_click(lookup_widget(window_main, tool_button));
        EXPECT_TRUE(test_pump_until([window] { return gtk_widget_get_mapped(window) != FALSE; }));
        bool result = test_window_has_wm_state(window, above);
        test_send_wm_delete(window);
        EXPECT_TRUE(test_pump_until([window] { return !gtk_widget_get_visible(window); }));
        return result;
    }

    // Waits for the main window's request to the window manager.
    static bool main_window_asked(long action)
    {
        std::vector<test_wm_state_request> seen;
        bool found = test_pump_until([&] {
            for (const auto &request : test_wm_requests_take())
                seen.push_back(request);
            for (const auto &request : seen)
                if (request.window == window_main && request.action == action && request.first == above)
                    return true;
            return false;
        });
        return found;
    }
};

TEST_F(StayOnTop, OnKeepsAllThreeWindowsAboveAndOffReleasesThem)
{
    test_wm_requests_start();
    ASSERT_FALSE(shown_with_keep_above("toolbutton_main_settings", window_connection_settings));
    ASSERT_FALSE(shown_with_keep_above("toolbutton_main_format", window_format));

    toggle();

    EXPECT_EQ(flag_windows_always_on_top, 1);
    EXPECT_TRUE(main_window_asked(1));
    EXPECT_TRUE(shown_with_keep_above("toolbutton_main_settings", window_connection_settings));
    EXPECT_TRUE(shown_with_keep_above("toolbutton_main_format", window_format));

    toggle();

    EXPECT_EQ(flag_windows_always_on_top, 0);
    EXPECT_TRUE(main_window_asked(0));
    EXPECT_FALSE(shown_with_keep_above("toolbutton_main_settings", window_connection_settings));
    EXPECT_FALSE(shown_with_keep_above("toolbutton_main_format", window_format));
}

TEST_F(StayOnTop, SettingsWindowAlreadyShownAsksToBeKeptAbove)
{
    test_click(lookup_widget(window_main, "toolbutton_main_settings"));
    ASSERT_TRUE(test_pump_until([] { return gtk_widget_get_mapped(window_connection_settings) != FALSE; }));
    test_wm_requests_start();

    toggle();

    bool asked = test_pump_until([] {
        for (const auto &request : test_wm_requests_take())
            if (request.window == window_connection_settings && request.action == 1 && request.first == above)
                return true;
        return false;
    });
    EXPECT_TRUE(asked);
}

TEST_F(StayOnTop, ConfirmationDialogOpensAboveWhenOn)
{
    toggle();
    bool dialog_above = false;
    auto answer = test_when_window_shown("dialog_yes_no_confirmation", [&](GtkWidget *dialog) {
        dialog_above = test_window_has_wm_state(dialog, above);
        test_click(lookup_widget(dialog, "button_yes_no_confirmation_no"));
    });

    bool loop_went_on = false;
    test_run_main_loop([&] {
        test_click(lookup_widget(window_main, "toolbutton_main_quit"));
        test_end_loop_later(&loop_went_on);
    });

    EXPECT_EQ(answer->answered, 1);
    EXPECT_TRUE(dialog_above);
    EXPECT_TRUE(loop_went_on);
}

}  // namespace
