// The client as it comes up: what a user sees before touching anything.
#include "callbacks_format.h"
#include "config_home.h"
#include "fileopen.h"
#include "gui_support.h"
#include "main.h"
#include "options.h"
#include "save_dialog_helper.h"
#include "support.h"
#include "test_pty.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

namespace {

class Startup : public gui_test {};

const char *const startup_start_buttons[] = {
    "toolbutton_main_settings", "toolbutton_main_format", "toolbutton_main_monitor",
    "toolbutton_main_dump",     "toolbutton_main_reboot", "toolbutton_main_firmware_update",
    "toolbutton_main_about",    "toolbutton_main_stay_on_top", "toolbutton_main_quit",
};

bool sensitive(GtkWidget *window, const char *name)
{
    return gtk_widget_get_sensitive(lookup_widget(window, name)) != FALSE;
}

TEST_F(Startup, FirstStartCreatesSettingsFileAndShowsOnlyTheMainWindow)
{
    EXPECT_EQ(test_read_file(test_config_file()),
              "# ZR7K8 USB serial client config file - do NOT edit\n\n[connection]\n"
              "device_port=COM3\nbootloader_port=COM4\n");
    struct stat folder {};
    ASSERT_EQ(stat(test_config_folder().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    EXPECT_TRUE(gtk_widget_get_mapped(window_main));
    EXPECT_FALSE(gtk_widget_get_visible(window_format));
    EXPECT_FALSE(gtk_widget_get_visible(window_connection_settings));
    EXPECT_EQ(test_statusbar_text(), "");
    EXPECT_EQ(flag_abort_requested, 0);
    EXPECT_EQ(flag_windows_always_on_top, 0);
}

TEST_F(Startup, RestingToolbarHasOnlyAbortGreyed)
{
    for (const char *name : startup_start_buttons)
        EXPECT_TRUE(sensitive(window_main, name)) << name;
    EXPECT_FALSE(sensitive(window_main, "toolbutton_main_abort"));
    EXPECT_FALSE(gtk_toggle_tool_button_get_active(
        GTK_TOGGLE_TOOL_BUTTON(lookup_widget(window_main, "toolbutton_main_stay_on_top"))));
}

TEST_F(Startup, SamplingOptionsStartAtCommodore64PalWithBothEdgeOptionsGreyed)
{
    sampling_option_values values = callbacks_format_get_values();
    EXPECT_EQ(values.machine_type, 0);
    EXPECT_EQ(values.video_standard, 0);
    EXPECT_EQ(values.dump_half_waves, 0);
    EXPECT_EQ(values.rising_active, 0);
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(lookup_widget(window_format, "comboboxentry_format_machine_type"))),
              0);
    EXPECT_EQ(
        gtk_combo_box_get_active(GTK_COMBO_BOX(lookup_widget(window_format, "comboboxentry_format_video_standard"))),
        0);
    EXPECT_FALSE(sensitive(window_format, "checkbutton_format_use_half_waves"));
    EXPECT_FALSE(sensitive(window_format, "checkbutton_format_use_rising_edge"));
}

TEST_F(Startup, MainWindowShowsAllTenButtonsWithLabelsAndAFullSizePlot)
{
    GtkToolbar *toolbar = GTK_TOOLBAR(lookup_widget(window_main, "toolbar_main"));
    EXPECT_EQ(gtk_toolbar_get_style(toolbar), GTK_TOOLBAR_BOTH);
    EXPECT_FALSE(gtk_toolbar_get_show_arrow(toolbar));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window_main)),
                 "ZR7K8 USB serial client - Copyright (C) 2026 The ZR7K8 client authors");

    // Every button is on screen, inside the window, with its label.
    GtkAllocation window_area;
    gtk_widget_get_allocation(window_main, &window_area);
    for (const char *name : startup_start_buttons) {
        GtkWidget *button = lookup_widget(window_main, name);
        EXPECT_TRUE(gtk_widget_get_child_visible(button)) << name;
        GtkAllocation area;
        gtk_widget_get_allocation(button, &area);
        EXPECT_LE(area.x + area.width, window_area.width) << name;
        EXPECT_FALSE(test_label_text(button).empty()) << name;
    }
    GtkAllocation plot;
    gtk_widget_get_allocation(lookup_widget(window_main, "drawingarea_main"), &plot);
    EXPECT_GE(plot.width, 576);
    EXPECT_GE(plot.height, 400);

    // Growing the window and shrinking it again never takes the plot below
    // its minimum.
    gtk_window_resize(GTK_WINDOW(window_main), window_area.width + 200, window_area.height + 200);
    EXPECT_TRUE(test_pump_until([&] {
        GtkAllocation now;
        gtk_widget_get_allocation(window_main, &now);
        return now.height >= window_area.height + 200;
    }));
    gtk_window_resize(GTK_WINDOW(window_main), 100, 100);
    EXPECT_TRUE(test_pump_until([&] {
        GtkAllocation now;
        gtk_widget_get_allocation(window_main, &now);
        return now.height < window_area.height + 200;
    }));
    gtk_widget_get_allocation(lookup_widget(window_main, "drawingarea_main"), &plot);
    EXPECT_GE(plot.width, 576);
    EXPECT_GE(plot.height, 400);
}

TEST_F(Startup, TheBarBetweenPlotAndListMovesBothWays)
{
    GtkPaned *paned = GTK_PANED(lookup_widget(window_main, "hpaned_main"));
    GtkWidget *list = lookup_widget(window_main, "scrolledwindow_main_tape_contents");
    auto width = [](GtkWidget *widget) {
        GtkAllocation area;
        gtk_widget_get_allocation(widget, &area);
        return area.width;
    };
    const int start = gtk_paned_get_position(paned), list_at_start = width(list);

    // As a drag of the bar does: the list grows into the plot.
    gtk_paned_set_position(paned, start - 150);
    EXPECT_TRUE(test_pump_until([&] { return width(list) == list_at_start + 150; }, 3000)) << width(list);
    EXPECT_EQ(gtk_paned_get_position(paned), start - 150);

    // Never so far that the plot is lost.
    gtk_paned_set_position(paned, 20);
    test_pump_until([&] { return width(list) > list_at_start + 150; }, 3000);
    EXPECT_GE(width(lookup_widget(window_main, "drawingarea_main")), 250);

    gtk_paned_set_position(paned, start + 50);
    EXPECT_TRUE(test_pump_until([&] { return width(list) == list_at_start - 50; }, 3000)) << width(list);
}

TEST_F(Startup, ExistingSettingsAreLoadedAndNotRewritten)
{
    test_shell_stop();
    const char text[] = "[connection]\ndevice_port=ttyACM0\n";
    test_shell_start(text);

    EXPECT_STREQ(options_device_port_string, "ttyACM0");
    EXPECT_STREQ(options_bootloader_port_string, "COM4");
    EXPECT_EQ(test_read_file(test_config_file()), text);
}

// The program's own entry: start-up, the main loop, and a confirmed quit that
// ends it with 0.
TEST(Program, RunsUntilQuitConfirmedAndReturnsZero)
{
    test_gui_init();
    test_config_reset();
    auto answer = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_yes", 20000);
    g_timeout_add(
        50,
        [](gpointer) -> gboolean {
            if (!window_main || !gtk_widget_get_mapped(window_main))
                return TRUE;
            test_click(lookup_widget(window_main, "toolbutton_main_quit"));
            return FALSE;
        },
        nullptr);
    static bool guard_fired;
    guard_fired = false;
    guint guard = g_timeout_add(30000, [](gpointer) -> gboolean {
        guard_fired = true;
        gtk_main_quit();
        return FALSE;
    }, nullptr);
    char name[] = "zr7k8-client";
    char *args[] = {name, nullptr};

    int result = main_run(1, args);

    EXPECT_FALSE(guard_fired) << "the main loop did not end on a confirmed quit";
    if (!guard_fired)
        g_source_remove(guard);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(answer->answered, 1);
    EXPECT_EQ(flag_abort_requested, 1);
    EXPECT_TRUE(g_file_test(test_config_file().c_str(), G_FILE_TEST_EXISTS));
    test_shell_stop();
    EXPECT_TRUE(test_log_take().empty());
}

// What a run keeps (the last dump's folder, the sampling options, a quit under
// way) lives on its windows: the next start in the same process, as the tests
// run many to a process, is a first start again.
TEST_F(Startup, TheNextStartKeepsNothingOfTheRunBefore)
{
    test_folder before, elsewhere;
    auto chosen = test_choose_file(before.path(), "a");
    gchar *path = nullptr;
    ASSERT_EQ(fileopen_save_dmp_file(&path, 0), 1);
    g_free(path);
    gtk_toggle_button_set_active(
        GTK_TOGGLE_BUTTON(lookup_widget(window_format, "checkbutton_format_use_half_waves")), TRUE);
    ASSERT_EQ(callbacks_format_get_values().dump_half_waves, 1);
    GtkWidget *quit = lookup_widget(window_main, "toolbutton_main_quit");
    auto yes = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_yes");
    test_run_main_loop([quit] { test_click(quit); });
    ASSERT_EQ(yes->answered, 1);

    test_shell_stop();
    test_shell_start();
    test_working_directory here(elsewhere.path());
    std::string opened_in;
    auto cancel = test_when_window_shown("filechooserdialog_save_dump", [&](GtkWidget *dialog) {
        test_pump_until([&] {
            gchar *now = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
            opened_in = now ? now : "";
            g_free(now);
            return !opened_in.empty();
        });
        test_click(lookup_widget(dialog, "button_save_dump_cancel"));
    });
    EXPECT_EQ(fileopen_save_dmp_file(&path, 0), 0);
    EXPECT_EQ(opened_in, elsewhere.path());
    EXPECT_EQ(callbacks_format_get_values().dump_half_waves, 0);
    quit = lookup_widget(window_main, "toolbutton_main_quit");
    auto no = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_no");
    bool loop_still_running = false;
    test_run_main_loop([&] {
        test_click(quit);
        test_end_loop_later(&loop_still_running);
    });
    EXPECT_EQ(no->answered, 1);
    EXPECT_TRUE(loop_still_running);
}

}  // namespace
