// The status bar shows one message at a time, and workers reach it only
// through the idle hand-off.
#include "callbacks_shell.h"
#include "common.h"
#include "gui_support.h"
#include "link/handoff.h"
#include "main.h"
#include "support.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class Statusbar : public gui_test {};

TEST_F(Statusbar, SecondMessageReplacesTheFirst)
{
    common_statusbar_update(" Operation failed: Unable to open port");
    common_statusbar_update(" Operation succeeded");

    EXPECT_EQ(test_statusbar_text(), " Operation succeeded");
    // Nothing is stacked underneath: taking the shown message away leaves
    // the bar empty.
    gtk_statusbar_pop(GTK_STATUSBAR(lookup_widget(window_main, "statusbar_main")), 0);
    EXPECT_EQ(test_statusbar_text(), "");
}

TEST_F(Statusbar, IdleUpdateAddsTheLeadingSpace)
{
    EXPECT_FALSE(idle_statusbar_update(const_cast<char *>("Press PLAY on tape...")));
    EXPECT_EQ(test_statusbar_text(), " Press PLAY on tape...");
}

TEST_F(Statusbar, WorkerTextsArriveThroughTheMainLoopInOrder)
{
    std::thread worker([] {
        handoff_post(idle_statusbar_update, const_cast<char *>("Press PLAY on tape..."));
        handoff_post(idle_statusbar_update, const_cast<char *>("Monitoring..."));
    });
    worker.join();
    EXPECT_EQ(test_statusbar_text(), "");

    EXPECT_TRUE(test_pump_until([] { return test_statusbar_text() == " Monitoring..."; }));
}

// Busy and resting toolbar: the one-operation-at-a-time rule.
TEST_F(Statusbar, ToolbarBusyStateGreysStartButtonsAndFreesAbort)
{
    const char *const start_buttons[] = {
        "toolbutton_main_settings", "toolbutton_main_format", "toolbutton_main_monitor",
        "toolbutton_main_dump",     "toolbutton_main_reboot", "toolbutton_main_firmware_update",
    };
    const char *const always_available[] = {"toolbutton_main_about", "toolbutton_main_stay_on_top",
                                            "toolbutton_main_quit"};
    auto sensitive = [](const char *name) { return gtk_widget_get_sensitive(lookup_widget(window_main, name)) != 0; };

    common_toolbar_set_operation_running(1);
    for (const char *name : start_buttons)
        EXPECT_FALSE(sensitive(name)) << name;
    EXPECT_TRUE(sensitive("toolbutton_main_abort"));
    for (const char *name : always_available)
        EXPECT_TRUE(sensitive(name)) << name;

    common_toolbar_set_operation_running(0);
    for (const char *name : start_buttons)
        EXPECT_TRUE(sensitive(name)) << name;
    EXPECT_FALSE(sensitive("toolbutton_main_abort"));
    for (const char *name : always_available)
        EXPECT_TRUE(sensitive(name)) << name;
}

}  // namespace
