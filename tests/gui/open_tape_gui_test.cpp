// Open Tape... in the real main window under Xvfb: the file is read on a
// worker while the window answers, the list fills as it is read, Abort stops
// it, and afterwards the tape clock, the health readout and the plot show the
// opened tape.
#include "callbacks_open_tape.h"
#include "callbacks_plot.h"
#include "gui_support.h"
#include "main.h"
#include "support.h"
#include "tape/dmp.h"
#include "tape/tape_input.h"
#include "tape/tape_time.h"
#include "tape_demo.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <unistd.h>

namespace {

bool open_tape_sensitive(const char *name)
{
    return gtk_widget_is_sensitive(lookup_widget(window_main, name));
}

std::string label(const char *name)
{
    return gtk_label_get_text(GTK_LABEL(lookup_widget(window_main, name)));
}

int open_tape_rows_shown()
{
    GtkTreeView *view = GTK_TREE_VIEW(lookup_widget(window_main, "treeview_main_tape_contents"));
    return gtk_tree_model_iter_n_children(gtk_tree_view_get_model(view), nullptr);
}

// The tape time of the file at path, as the clock shows it.
std::string length_of(const std::string &path)
{
    tape_input *input = tape_input_open(path.c_str(), 0, nullptr);
    guint64 ticks = 0;
    unsigned short samples[4096];
    long got;
    while (input && (got = tape_input_read(input, samples, G_N_ELEMENTS(samples), nullptr)) > 0)
        for (long i = 0; i < got; ++i)
            ticks += samples[i];
    tape_input_close(input);
    gchar *text = tape_time_text(ticks);
    const std::string shown = text;
    g_free(text);
    return shown;
}

// Whether the plot's picture shows a pulse mark in column x of its top and
// bottom rows.
bool marked_top_and_bottom(int x)
{
    GdkPixbuf *picture = callbacks_plot_picture();
    if (!picture)
        return false;
    const int rowstride = gdk_pixbuf_get_rowstride(picture);
    const int channels = gdk_pixbuf_get_n_channels(picture);
    const guchar *pixels = gdk_pixbuf_get_pixels(picture);
    const int bottom = gdk_pixbuf_get_height(picture) - 1;
    const bool marked = pixels[x * channels + 1] == 255 && pixels[bottom * rowstride + x * channels + 1] == 255;
    g_object_unref(picture);
    return marked;
}

gboolean count_tick(gpointer ticks)
{
    ++*static_cast<int *>(ticks);
    return G_SOURCE_CONTINUE;
}

class OpenTape : public gui_test {
protected:
    bool resting()
    {
        return open_tape_sensitive("toolbutton_main_open_tape") && !open_tape_sensitive("toolbutton_main_abort");
    }

    test_folder folder;
};

TEST_F(OpenTape, AfterwardsTheClockTheHealthReadoutAndThePlotShowTheOpenedTape)
{
    const std::string tape = ZR7K8_SOURCE_DIR "/tests/data/tapes/openroms-testtape-c64-pal-normal.tap";
    callbacks_open_tape(tape.c_str());
    ASSERT_TRUE(test_pump_until([&] { return resting(); }));
    EXPECT_EQ(test_statusbar_text(), " Opened openroms-testtape-c64-pal-normal.tap");
    EXPECT_EQ(label("label_main_tape_clock"), length_of(tape));
    EXPECT_EQ(label("label_main_tape_health").rfind("speed ", 0), 0u) << label("label_main_tape_health");

    // Pulses of 3000 ticks and no pilot: its length, no health figures, and
    // its last screenful with every row marked in column 3000 / 8.
    const std::string noise = folder.path() + "/noise.DMP";
    std::string error;
    ASSERT_TRUE(dmp_write_file(noise.c_str(), std::vector<unsigned short>(20000, 3000), &error)) << error;
    callbacks_open_tape(noise.c_str());
    ASSERT_TRUE(test_pump_until([&] { return resting(); }));
    EXPECT_EQ(test_statusbar_text(), " Opened noise.DMP");
    EXPECT_EQ(label("label_main_tape_clock"), "0:30");
    EXPECT_EQ(label("label_main_tape_health"), "");
    EXPECT_TRUE(test_pump_until([] { return marked_top_and_bottom(3000 / 8); }));
}

// A 45-minute dump: the call returns at once, the main loop runs and the
// list fills while the worker reads, and Abort stops it. Behind the dump,
// gigabytes of empty samples (a sparse file, no disk) keep the worker reading
// for seconds whatever the machine's pace.
TEST_F(OpenTape, TheWindowAnswersWhileALongTapeIsReadAndAbortStopsIt)
{
    const std::string tape = folder.path() + "/long.DMP";
    std::string error;
    ASSERT_TRUE(dmp_write_file(tape.c_str(), tape_demo_samples_lasting(45 * 60), &error)) << error;
    ASSERT_EQ(truncate(tape.c_str(), off_t(4) << 30), 0);
    int ticks = 0;
    const guint ticker = g_timeout_add(1, count_tick, &ticks);
    callbacks_open_tape(tape.c_str());
    EXPECT_TRUE(open_tape_sensitive("toolbutton_main_abort")) << "the toolbar is busy while the worker reads";
    EXPECT_TRUE(test_pump_until([&] { return ticks >= 3 && open_tape_rows_shown() > 0; }));
    g_source_remove(ticker);
    EXPECT_TRUE(open_tape_sensitive("toolbutton_main_abort")) << "still reading";
    EXPECT_EQ(test_statusbar_text().rfind(" Reading long.DMP", 0), 0u) << test_statusbar_text();

    test_click(lookup_widget(window_main, "toolbutton_main_abort"));
    ASSERT_TRUE(test_pump_until([&] { return resting(); }));
    EXPECT_EQ(test_statusbar_text(), " Operation aborted");
    EXPECT_FALSE(open_tape_sensitive("button_main_save_clean_tap")) << "a tape read in part is no tape to save";
}

}  // namespace
