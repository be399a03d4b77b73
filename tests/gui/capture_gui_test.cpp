// Preview, Dump and Abort in the real main window under Xvfb, with the
// simulated device on a pseudo-terminal.
#include "callbacks_capture.h"
#include "callbacks_indicator.h"
#include "link/capture_progress.h"
#include "config_home.h"
#include "devsim.h"
#include "gui_support.h"
#include "save_dialog_helper.h"
#include "main.h"
#include "options.h"
#include "link/serial.h"
#include "support.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "tape_tap.h"
#include "tape_testing.h"
#include "test_small_filesystem.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <glib/gstdio.h>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<unsigned char> file_bytes(const std::string &path)
{
    std::vector<unsigned char> bytes;
    tape_read_file(path.c_str(), &bytes, nullptr);
    return bytes;
}

const char *const start_buttons[] = {
    "toolbutton_main_settings", "toolbutton_main_format", "toolbutton_main_monitor",
    "toolbutton_main_dump",     "toolbutton_main_reboot", "toolbutton_main_firmware_update",
};

bool sensitive(const char *name)
{
    return gtk_widget_get_sensitive(lookup_widget(window_main, name)) != FALSE;
}

// "busy": the six start buttons greyed and Abort available; "resting": the
// opposite; anything else is "mixed".
std::string toolbar_state()
{
    int greyed = 0;
    for (const char *name : start_buttons)
        greyed += !sensitive(name);
    bool abort = sensitive("toolbutton_main_abort");
    if (greyed == 6 && abort)
        return "busy";
    if (greyed == 0 && !abort)
        return "resting";
    return "mixed";
}

// Every text pushed onto the status bar, with the toolbar's state at that
// moment.
struct status_record {
    std::vector<std::string> texts;
    std::vector<std::string> toolbar;
};

void on_text_pushed(GtkStatusbar *, guint, gchar *text, gpointer data)
{
    auto *record = static_cast<status_record *>(data);
    record->texts.push_back(text ? text : "");
    record->toolbar.push_back(toolbar_state());
}

class Capture : public gui_test {
protected:
    void SetUp() override
    {
        gui_test::SetUp();
        g_signal_connect(lookup_widget(window_main, "statusbar_main"), "text-pushed", G_CALLBACK(on_text_pushed),
                         &record);
    }

    void TearDown() override
    {
        // Never leave a worker behind: end it and let its finish run.
        serial_disconnect_port();
        test_pump_until([] { return toolbar_state() == "resting"; }, 5000);
        if (sim)
            devsim_stop(sim);
        gui_test::TearDown();
    }

    void start_device(devsim_options options)
    {
        sim = devsim_start(options);
        ASSERT_NE(sim, nullptr);
        set_device_port(devsim_port_name(sim));
    }

    static void set_device_port(const std::string &port)
    {
        g_free(options_device_port_string);
        options_device_port_string = g_strdup(port.c_str());
    }

    static devsim_options fast_device(std::vector<unsigned char> stream)
    {
        devsim_options options;
        options.bytes_per_second = 0;
        options.stream = [stream](const devsim_sampling_request &) { return devsim_stream_from_bytes(stream); };
        return options;
    }

    std::shared_ptr<test_window_watch> choose_file(const std::string &name)
    {
        return test_choose_file(folder.path(), name);
    }

    // Chooses `name` in `in_folder` with "Also write a TAP image for
    // emulators" ticked.
    static std::shared_ptr<test_window_watch> choose_file_with_tap(const std::string &in_folder,
                                                                   const std::string &name)
    {
        return test_choose_file(in_folder, name, [](GtkWidget *dialog) {
            gtk_toggle_button_set_active(
                GTK_TOGGLE_BUTTON(lookup_widget(dialog, "checkbutton_save_dump_write_tap")), TRUE);
        });
    }

    bool wait_for_status(const std::string &text, int deadline_ms = 20000)
    {
        return test_pump_until([&] { return test_statusbar_text() == text; }, deadline_ms);
    }

    status_record record;
    test_folder folder;
    devsim *sim = nullptr;
};

TEST_F(Capture, PreviewShowsItsProgressTheTapeNamesAndSuccess)
{
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    EXPECT_EQ(toolbar_state(), "busy");
    ASSERT_TRUE(wait_for_status(" Operation succeeded"));
    EXPECT_EQ(toolbar_state(), "resting");
    EXPECT_EQ(callbacks_indicator_state(), 0);  // the light ends dark
    EXPECT_FALSE(gtk_widget_is_sensitive(lookup_widget(window_main, "button_main_save_clean_tap")))
        << "a preview leaves no file to make a clean image of";

    std::vector<std::string> expected{" Press PLAY on tape...", " Monitoring..."};
    for (const char *name : tape_demo_names)
        expected.push_back(std::string(" Filename intercepted: ") + name);
    expected.push_back(" Operation succeeded");
    EXPECT_EQ(record.texts, expected);
    // Busy for everything shown while the capture ran; resting for the end.
    for (size_t i = 0; i + 1 < record.toolbar.size(); i++)
        EXPECT_EQ(record.toolbar[i], "busy") << record.texts[i];
    EXPECT_EQ(devsim_get_status(sim).commands, std::vector<std::string>{"u 0 0 0"});
}

// Files of the loaders without a name decoder are named as they are listed,
// by their names or address ranges, in tape order among the decoders' names.
TEST_F(Capture, PreviewNamesEveryLoadersFilesInTheStatusBar)
{
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_every_format_samples())));
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    ASSERT_TRUE(wait_for_status(" Operation succeeded"));
    std::vector<std::string> expected{" Press PLAY on tape...", " Monitoring..."};
    for (const char *name : tape_demo_every_format_names)
        expected.push_back(std::string(" Filename intercepted: ") + name);
    expected.push_back(" Operation succeeded");
    EXPECT_EQ(record.texts, expected);
}

TEST_F(Capture, DumpWritesTheDeviceStreamByteForByte)
{
    auto stream = dmp_bytes_of_samples(tape_demo_samples());
    start_device(fast_device(stream));
    auto chosen = choose_file("demo");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    EXPECT_EQ(chosen->answered, 1);
    ASSERT_TRUE(wait_for_status(" Operation succeeded"));
    EXPECT_EQ(record.texts[1], " Dumping...");
    auto file = file_bytes(folder.path() + "/demo.DMP");
    EXPECT_EQ(file.size(), stream.size());
    EXPECT_TRUE(file == stream);
    EXPECT_TRUE(test_pump_until(
        [] { return gtk_widget_is_sensitive(lookup_widget(window_main, "button_main_save_clean_tap")); }))
        << "the dump is the tape the list shows";
}

TEST_F(Capture, SamplingCommandCarriesTheOptions)
{
    start_device(fast_device(std::vector<unsigned char>(64, 0x40)));
    // GENERIC, NTSC, both edges and a rising start, chosen in the window.
    gtk_combo_box_set_active(GTK_COMBO_BOX(lookup_widget(window_format, "comboboxentry_format_machine_type")), 3);
    gtk_combo_box_set_active(GTK_COMBO_BOX(lookup_widget(window_format, "comboboxentry_format_video_standard")), 1);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(lookup_widget(window_format, "checkbutton_format_use_half_waves")),
                                 TRUE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(lookup_widget(window_format, "checkbutton_format_use_rising_edge")),
                                 TRUE);
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    ASSERT_TRUE(wait_for_status(" Operation succeeded"));
    EXPECT_EQ(devsim_get_status(sim).commands, std::vector<std::string>{"u 3 0 1"});
}

TEST_F(Capture, AbortWhileWaitingForTheTape)
{
    devsim_options options = fast_device(dmp_bytes_of_samples(tape_demo_samples()));
    options.pauses = {{0, 60000}};  // PLAY is never pressed
    start_device(options);
    auto chosen = choose_file("waiting.DMP");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    ASSERT_TRUE(wait_for_status(" Dumping..."));
    EXPECT_EQ(toolbar_state(), "busy");
    test_click(lookup_widget(window_main, "toolbutton_main_abort"));
    ASSERT_TRUE(wait_for_status(" Operation aborted", 5000));
    EXPECT_EQ(toolbar_state(), "resting");
    EXPECT_EQ(flag_abort_requested, 1);
    EXPECT_TRUE(file_bytes(folder.path() + "/waiting.DMP").empty());
    EXPECT_TRUE(g_file_test((folder.path() + "/waiting.DMP").c_str(), G_FILE_TEST_EXISTS));
}

TEST_F(Capture, UnplugMidStreamIsACommunicationErrorAndTheFileKeepsWhatCame)
{
    auto stream = dmp_bytes_of_samples(tape_demo_samples());
    devsim_options options = fast_device(stream);
    options.bytes_per_second = devsim_line_rate;
    options.unplug_after_bytes = 100001;
    start_device(options);
    auto chosen = choose_file("unplugged");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    ASSERT_TRUE(wait_for_status(" Operation failed: Communication error"));
    EXPECT_EQ(toolbar_state(), "resting");
    // The pseudo-terminal drops what it still held when it hung up, as a
    // pulled USB device does; all that the client read is in the file.
    auto file = file_bytes(folder.path() + "/unplugged.DMP");
    EXPECT_LE(file.size(), 100001u);
    EXPECT_GE(file.size(), 50000u);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), stream.begin()));
}

TEST_F(Capture, AnAbortThatCameAfterTheSuccessMarkerCutNothingShort)
{
    // The finish of a capture that ended on its success marker, with Abort
    // pressed meanwhile (as during the TAP image step), and of one the
    // Abort ended.
    flag_abort_requested = 1;
    idle_finish_dump_core(nullptr);
    EXPECT_EQ(test_statusbar_text(), " Operation succeeded");
    idle_finish_dump_core(const_cast<char *>("Communication error"));
    EXPECT_EQ(test_statusbar_text(), " Operation aborted");
}

TEST_F(Capture, PreviewWithAnEmptyPortSettingSaysSoAndStartsNothing)
{
    set_device_port("");
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    EXPECT_EQ(test_statusbar_text(), " Error: Invalid device port");
    EXPECT_EQ(toolbar_state(), "resting");
}

TEST_F(Capture, DumpWithAnEmptyPortSettingAsksFirstAndTouchesNothing)
{
    // Replacing the earlier dump and the file a link names was agreed to, but
    // no capture began: both stay as they were, and nothing else appears.
    const std::string precious = folder.path() + "/precious.DMP";
    const std::string notes = folder.path() + "/notes.txt";
    ASSERT_TRUE(g_file_set_contents(precious.c_str(), "precious", -1, nullptr));
    ASSERT_TRUE(g_file_set_contents(notes.c_str(), "notes", -1, nullptr));
    ASSERT_EQ(symlink("notes.txt", (folder.path() + "/link.DMP").c_str()), 0);
    set_device_port("");
    for (const char *name : {"precious.DMP", "link.DMP"}) {
        auto chosen = choose_file(name);
        test_question_answerer yes(GTK_RESPONSE_YES);
        test_click(lookup_widget(window_main, "toolbutton_main_dump"));
        EXPECT_EQ(chosen->answered, 1);
        EXPECT_EQ(yes.answered, 1);
        EXPECT_EQ(test_statusbar_text(), " Error: Invalid device port");
        EXPECT_EQ(toolbar_state(), "resting");
    }
    EXPECT_EQ(test_read_file(precious), "precious");
    EXPECT_EQ(test_read_file(notes), "notes");
    EXPECT_EQ(test_folder_listing(folder.path()), "link.DMP notes.txt precious.DMP");
}

TEST_F(Capture, DumpToAFileThatCannotBeMadeSaysSoAndStartsNothing)
{
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    // No file can be made in /proc, not even by root.
    auto chosen = test_choose_file("/proc", "tape");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    EXPECT_EQ(chosen->answered, 1);
    EXPECT_EQ(test_statusbar_text(), " Error: Failed to open destination file");
    EXPECT_EQ(toolbar_state(), "resting");
    EXPECT_EQ(devsim_get_status(sim).sessions, 0u);
}

TEST_F(Capture, CancelledDialogChangesNothing)
{
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    ASSERT_TRUE(wait_for_status(" Operation succeeded"));
    size_t texts_before = record.texts.size();

    auto cancelled = test_answer_dialog("filechooserdialog_save_dump", "button_save_dump_cancel");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    EXPECT_EQ(cancelled->answered, 1);
    test_pump_pending();
    EXPECT_EQ(record.texts.size(), texts_before);
    EXPECT_EQ(test_statusbar_text(), " Operation succeeded");
    EXPECT_EQ(toolbar_state(), "resting");
    EXPECT_EQ(devsim_get_status(sim).runs_started, 1u);
    GDir *dir = g_dir_open(folder.path().c_str(), 0, nullptr);
    EXPECT_EQ(g_dir_read_name(dir), nullptr);  // no file was made
    g_dir_close(dir);
}

TEST_F(Capture, ANameForSomethingOtherThanAFileIsRefused)
{
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    // The chosen name leads to a device; replacing it was agreed to, but
    // only regular files are ever replaced.
    std::string path = folder.path() + "/full.DMP";
    ASSERT_EQ(symlink("/dev/full", path.c_str()), 0);
    auto chosen = choose_file("full.DMP");
    test_question_answerer yes(GTK_RESPONSE_YES);
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    EXPECT_EQ(yes.answered, 1);
    EXPECT_EQ(test_statusbar_text(), " Error: Failed to open destination file");
    EXPECT_EQ(toolbar_state(), "resting");
    EXPECT_EQ(devsim_get_status(sim).sessions, 0u);
}

TEST_F(Capture, FullDiskIsAFileWriteFailure)
{
    test_small_filesystem disk(16 * 4096);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    auto chosen = test_choose_file(disk.path(), "full");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    ASSERT_TRUE(wait_for_status(" Operation failed: File write failed")) << test_statusbar_text();
    EXPECT_EQ(toolbar_state(), "resting");
    // What fitted is kept, under its own name.
    EXPECT_EQ(disk.listing(), "full.DMP");
}

TEST_F(Capture, DumpWithTheTapBoxTickedLeavesAnImageWithTheTapeNames)
{
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    auto chosen = choose_file_with_tap(folder.path(), "demo");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    ASSERT_TRUE(wait_for_status(" Operation succeeded"));

    std::vector<unsigned short> samples;
    tape_tap_info info;
    std::string error;
    ASSERT_TRUE(tape_tap_file_to_samples((folder.path() + "/demo.tap").c_str(), 0, &samples, &info, &error)) << error;
    EXPECT_EQ(info.version, 1u);
    std::vector<std::string> names;
    for (const decoded_name &name : run_name_finder(samples))
        names.push_back(name.shown);
    EXPECT_EQ(names, std::vector<std::string>(std::begin(tape_demo_names), std::end(tape_demo_names)));
}

TEST_F(Capture, QuitDuringADumpEndsItAndWaitsForItsImage)
{
    // About seven seconds of stream: Quit comes well inside it.
    devsim_options options = fast_device(dmp_bytes_of_samples(tape_demo_samples()));
    options.bytes_per_second = 20000;
    start_device(options);
    auto chosen = choose_file_with_tap(folder.path(), "cut");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    ASSERT_TRUE(test_pump_until(
        [] {
            guint64 ticks = 0, bytes = 0;
            capture_progress_read(&ticks, &bytes);
            return bytes >= 8192;
        },
        20000));
    auto yes = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_yes");

    EXPECT_TRUE(test_run_main_loop([] { test_click(lookup_widget(window_main, "toolbutton_main_quit")); }));

    EXPECT_EQ(yes->answered, 1);
    EXPECT_EQ(test_statusbar_text(), " Operation aborted");
    const std::string listing = test_folder_listing(folder.path());
    EXPECT_TRUE(listing.starts_with("cut.DMP ") && listing.find(" .") == std::string::npos) << listing;
    EXPECT_GE(file_bytes(folder.path() + "/cut.DMP").size(), 8192u);
    EXPECT_GT(file_bytes(folder.path() + "/cut.tap").size(), 20u);
}

TEST_F(Capture, AFullDiskLeavesNoTapImageAndTheStatusSaysWhy)
{
    // Room for the demo tape's dump (135602 bytes, 34 pages) but not for
    // its image as well (about 68 kB).
    test_small_filesystem disk(42 * 4096);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    auto chosen = choose_file_with_tap(disk.path(), "demo");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    ASSERT_TRUE(wait_for_status(" Operation succeeded; TAP image not written: No space left on device"))
        << test_statusbar_text();
    EXPECT_EQ(disk.listing(), "demo.DMP");
    EXPECT_EQ(file_bytes(disk.path() + "/demo.DMP").size(), 135602u);
}

void record_clock(GtkLabel *label, GParamSpec *, gpointer texts)
{
    static_cast<std::vector<std::string> *>(texts)->push_back(gtk_label_get_text(label));
}

TEST_F(Capture, TheTapeClockRunsDuringACaptureAndKeepsItsLastReading)
{
    // At the line's pace the demo tape's 20 seconds arrive in about 1.5 s. The size
    // keeps its unit with a no-break space.
    devsim_options options = fast_device(dmp_bytes_of_samples(tape_demo_samples()));
    options.bytes_per_second = devsim_line_rate;
    start_device(options);
    GtkWidget *clock = lookup_widget(window_main, "label_main_tape_clock");
    std::vector<std::string> shown;
    const test_connection watch(clock, "notify::label", G_CALLBACK(record_clock), &shown);

    auto chosen = choose_file("clock");
    test_click(lookup_widget(window_main, "toolbutton_main_dump"));
    ASSERT_TRUE(wait_for_status(" Operation succeeded"));
    std::set<std::string> readings(shown.begin(), shown.end());
    EXPECT_GE(readings.size(), 3u);  // cleared, then moving
    EXPECT_EQ(shown.front(), "");
    EXPECT_EQ(shown.back(), "0:20 · 135.6\u00a0kB");

    // Past the clock's next update (every 250 ms).
    test_pump_until([] { return false; }, 400);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(clock)), "0:20 · 135.6\u00a0kB");
    // A preview shows the tape time alone; it need not move this time.
    devsim_set_options(sim, fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(clock)), "");
    // The status still shows the dump's end: wait for the preview's.
    ASSERT_TRUE(test_pump_until([] { return toolbar_state() == "resting"; }, 20000));
    EXPECT_EQ(test_statusbar_text(), " Operation succeeded");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(clock)), "0:20");
}

// What a row of the tape contents list shows: each column's texts and
// its icon's stock id, joined by "|".
std::string shown_row(GtkTreeView *view, GtkTreeIter *row)
{
    std::string shown;
    GList *columns = gtk_tree_view_get_columns(view);
    for (GList *column = columns; column; column = column->next) {
        auto *tree_column = GTK_TREE_VIEW_COLUMN(column->data);
        gtk_tree_view_column_cell_set_cell_data(tree_column, gtk_tree_view_get_model(view), row, FALSE, FALSE);
        GList *cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(tree_column));
        for (GList *cell = cells; cell; cell = cell->next) {
            gchar *text = nullptr;
            g_object_get(cell->data, GTK_IS_CELL_RENDERER_TEXT(cell->data) ? "text" : "stock-id", &text, nullptr);
            if (!shown.empty())
                shown += "|";
            shown += text ? text : "";
            g_free(text);
        }
        g_list_free(cells);
    }
    g_list_free(columns);
    return shown;
}

GtkTreeView *contents_view()
{
    return GTK_TREE_VIEW(lookup_widget(window_main, "treeview_main_tape_contents"));
}

std::vector<std::string> shown_rows()
{
    std::vector<std::string> rows;
    GtkTreeModel *model = gtk_tree_view_get_model(contents_view());
    GtkTreeIter row;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &row); more; more = gtk_tree_model_iter_next(model, &row))
        rows.push_back(shown_row(contents_view(), &row));
    return rows;
}

// Each change of a row as it happens: "<row number> <what it shows>
// (<toolbar state>)".
void on_row_changed(GtkTreeModel *, GtkTreePath *path, GtkTreeIter *row, gpointer changes)
{
    static_cast<std::vector<std::string> *>(changes)->push_back(
        std::to_string(gtk_tree_path_get_indices(path)[0]) + " " + shown_row(contents_view(), row) + " (" +
        toolbar_state() + ")");
}

TEST_F(Capture, TheTapeContentsListTheFilesInTapeOrderWithTheirVerdictsUntilTheNextStart)
{
    start_device(fast_device(dmp_bytes_of_samples(tape_demo_samples())));
    std::vector<std::string> changes;
    const test_connection watch(gtk_tree_view_get_model(contents_view()), "row-changed",
                                G_CALLBACK(on_row_changed), &changes);
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    ASSERT_TRUE(wait_for_status(" Operation succeeded"));

    // Each file at its header's first byte.
    const std::vector<std::string> rows{"0:03|ROM|DEMO ROM|gtk-ok|good", "0:11|Turbo Tape 250|DEMO TURBO|gtk-ok|good",
                                        "0:17|Turrican|DEMO TURRICAN|gtk-ok|good"};
    EXPECT_EQ(changes, (std::vector<std::string>{"0 0:03|ROM|DEMO ROM||reading... (busy)", "0 " + rows[0] + " (busy)",
                                                 "1 0:11|Turbo Tape 250|DEMO TURBO||reading... (busy)",
                                                 "1 " + rows[1] + " (busy)",
                                                 "2 0:17|Turrican|DEMO TURRICAN||reading... (busy)",
                                                 "2 " + rows[2] + " (busy)"}));
    // Kept after the end, and emptied by the next start before anything
    // of the new capture arrives.
    EXPECT_EQ(shown_rows(), rows);
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    EXPECT_EQ(shown_rows(), std::vector<std::string>{});
    // The status still shows the first capture's end: wait for the second's.
    ASSERT_TRUE(test_pump_until([] { return toolbar_state() == "resting"; }, 20000));
    EXPECT_EQ(test_statusbar_text(), " Operation succeeded");
    EXPECT_EQ(shown_rows(), rows);
}

}  // namespace
