// A whole session in one process, as a user has it: start-up, a Preview to
// its end, a Dump to its end, a Dump aborted while the tape plays, another
// Preview, and quitting through the confirmation. In the AddressSanitizer
// build LeakSanitizer checks, when this process ends, that nothing the program
// allocated was lost; scripts/soak runs the same session under Valgrind.
#include "devsim.h"
#include "gui_support.h"
#include "main.h"
#include "options.h"
#include "save_dialog_helper.h"
#include "link/serial.h"
#include "support.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "test_pty.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> leak_file_bytes(const std::string &path)
{
    gchar *contents = nullptr;
    gsize length = 0;
    std::vector<unsigned char> bytes;
    if (g_file_get_contents(path.c_str(), &contents, &length, nullptr))
        bytes.assign(contents, contents + length);
    g_free(contents);
    return bytes;
}

class Session : public gui_test {
protected:
    void TearDown() override
    {
        serial_disconnect_port();
        if (sim)
            devsim_stop(sim);
        gui_test::TearDown();
    }

    // The operation a click started has ended (the toolbar is restored) with
    // this text. Waiting for the text alone would take the previous
    // operation's equal end text for this one's.
    static bool wait_for_end(const std::string &text, int deadline_ms = 30000)
    {
        GtkWidget *abort = lookup_widget(window_main, "toolbutton_main_abort");
        return test_pump_until([&] { return !gtk_widget_get_sensitive(abort); }, deadline_ms) &&
               test_statusbar_text() == text;
    }

    static void click(const char *name) { test_click(lookup_widget(window_main, name)); }

    test_folder folder;
    devsim *sim = nullptr;
};

TEST_F(Session, PreviewDumpAbortAndQuitLoseNoMemory)
{
    const std::vector<unsigned char> tape = dmp_bytes_of_samples(tape_demo_samples());
    devsim_options options;
    options.bytes_per_second = 0;
    options.stream = [tape](const devsim_sampling_request &) { return devsim_stream_from_bytes(tape); };
    sim = devsim_start(options);
    ASSERT_NE(sim, nullptr);
    g_free(options_device_port_string);
    options_device_port_string = g_strdup(devsim_port_name(sim).c_str());

    click("toolbutton_main_monitor");
    ASSERT_TRUE(wait_for_end(" Operation succeeded"));

    auto chosen = test_choose_file(folder.path(), "whole");
    click("toolbutton_main_dump");
    ASSERT_TRUE(wait_for_end(" Operation succeeded"));
    EXPECT_EQ(leak_file_bytes(folder.path() + "/whole.DMP"), tape);

    // A tape at the real line rate, aborted while it plays.
    options.bytes_per_second = devsim_line_rate;
    devsim_set_options(sim, options);
    auto aborted = test_choose_file(folder.path(), "aborted");
    const unsigned runs_before = devsim_get_status(sim).runs_started;
    click("toolbutton_main_dump");
    // The byte count is the last run's until this one starts.
    ASSERT_TRUE(test_pump_until([&] {
        const devsim_status now = devsim_get_status(sim);
        return now.runs_started > runs_before && now.run_bytes_sent >= 20000;
    }, 30000));
    click("toolbutton_main_abort");
    ASSERT_TRUE(wait_for_end(" Operation aborted")) << test_statusbar_text();

    options.bytes_per_second = 0;
    devsim_set_options(sim, options);
    click("toolbutton_main_monitor");
    ASSERT_TRUE(wait_for_end(" Operation succeeded"));

    auto answer = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_yes");
    EXPECT_TRUE(test_run_main_loop([] { click("toolbutton_main_quit"); }));
    EXPECT_EQ(answer->answered, 1);
}

}  // namespace
