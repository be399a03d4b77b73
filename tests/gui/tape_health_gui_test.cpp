// The tape health readout and its gauge beside the tape clock, and the tape
// contents' tooltips, in the real main window under Xvfb with the simulated
// device playing a synthesized tape at the line's pace.
#include "devsim.h"
#include "gui_support.h"
#include "health_tapes.h"
#include "link/serial.h"
#include "main.h"
#include "options.h"
#include "support.h"
#include "tape_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void record_label(GObject *label, GParamSpec *, gpointer shown)
{
    const bool busy = gtk_widget_get_sensitive(lookup_widget(window_main, "toolbutton_main_abort"));
    static_cast<std::vector<std::pair<std::string, bool>> *>(shown)->emplace_back(
        gtk_label_get_text(GTK_LABEL(label)), busy);
}

// The two figures of a readout "speed -4.0 % · spread 1.1 %"; false when
// the text is not one.
bool parse_readout(const std::string &text, double *speed, double *spread)
{
    const std::string speed_word = "speed ", spread_word = " % · spread ";
    const size_t spread_at = text.find(spread_word);
    if (text.rfind(speed_word, 0) != 0 || spread_at == std::string::npos || !text.ends_with(" %"))
        return false;
    const std::string speed_text = text.substr(speed_word.size(), spread_at - speed_word.size());
    const std::string spread_text = text.substr(spread_at + spread_word.size());
    gchar *speed_end = nullptr, *spread_end = nullptr;
    *speed = g_ascii_strtod(speed_text.c_str(), &speed_end);
    *spread = g_ascii_strtod(spread_text.c_str(), &spread_end);
    return *speed_end == '\0' && std::string(spread_end) == " %";
}

// The gauge's colour where its bar begins, as the screen shows it.
guint32 gauge_pixel()
{
    GtkWidget *gauge = lookup_widget(window_main, "drawingarea_main_tape_health");
    gint x = 0, y = 0;
    gtk_widget_translate_coordinates(gauge, window_main, 3, gauge->allocation.height / 2, &x, &y);
    GdkPixbuf *screen = test_window_pixbuf(window_main);
    if (!screen)
        return 0;
    const guchar *pixel = gdk_pixbuf_get_pixels(screen) + y * gdk_pixbuf_get_rowstride(screen) +
                          x * gdk_pixbuf_get_n_channels(screen);
    const guint32 rgb = guint32(pixel[0]) << 16 | guint32(pixel[1]) << 8 | pixel[2];
    g_object_unref(screen);
    return rgb;
}

bool is_green(guint32 rgb)
{
    return (rgb >> 8 & 0xFF) > 150 && (rgb >> 16) < 100 && (rgb & 0xFF) < 100;
}

class TapeHealthReadout : public gui_test {
protected:
    void TearDown() override
    {
        serial_disconnect_port();
        test_pump_until([] { return !gtk_widget_get_sensitive(lookup_widget(window_main, "toolbutton_main_abort")); },
                        5000);
        if (sim)
            devsim_stop(sim);
        gui_test::TearDown();
    }

    devsim *sim = nullptr;
};

TEST_F(TapeHealthReadout, AppearsDuringAPreviewAndKeepsItsLastReading)
{
    // A ROM-loader program played 4 % slow with 1 % of scatter: about 1.2 s
    // of stream at the line's pace.
    const health_tape tape = health_rom_tape(0.96, 1);
    const std::vector<unsigned char> stream = dmp_bytes_of_samples(tape.samples);
    devsim_options options;
    options.bytes_per_second = devsim_line_rate;
    options.stream = [stream](const devsim_sampling_request &) { return devsim_stream_from_bytes(stream); };
    sim = devsim_start(options);
    ASSERT_NE(sim, nullptr);
    g_free(options_device_port_string);
    options_device_port_string = g_strdup(devsim_port_name(sim).c_str());

    GtkWidget *readout = lookup_widget(window_main, "label_main_tape_health");
    std::vector<std::pair<std::string, bool>> shown;
    const test_connection watch(readout, "notify::label", G_CALLBACK(record_label), &shown);
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(readout)), "");
    ASSERT_TRUE(test_pump_until([] { return test_statusbar_text() == " Operation succeeded"; }, 20000));

    // Readings came while the capture ran, a few times a second.
    int readings_while_busy = 0;
    for (const auto &[text, busy] : shown)
        readings_while_busy += busy && !text.empty();
    EXPECT_GE(readings_while_busy, 2);
    const std::string last = gtk_label_get_text(GTK_LABEL(readout));
    double speed = 0, spread = 0;
    ASSERT_TRUE(parse_readout(last, &speed, &spread)) << last;
    EXPECT_NEAR(speed, tape.speed_percent, 0.3);
    EXPECT_NEAR(spread, tape.spread_percent, 0.3);
    EXPECT_TRUE(is_green(gauge_pixel())) << std::hex << gauge_pixel();

    // Kept after the end.
    test_pump_until([] { return false; }, 600);
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(readout)), last);
    EXPECT_TRUE(is_green(gauge_pixel())) << std::hex << gauge_pixel();

    // The file's row has its own pilot's figures as its tooltip.
    GtkTreeView *contents = GTK_TREE_VIEW(lookup_widget(window_main, "treeview_main_tape_contents"));
    GtkTreeModel *model = gtk_tree_view_get_model(contents);
    GtkTreeIter row;
    ASSERT_TRUE(gtk_tree_model_get_iter_first(model, &row));
    gchar *tooltip = nullptr;
    gtk_tree_model_get(model, &row, gtk_tree_view_get_tooltip_column(contents), &tooltip, -1);
    ASSERT_NE(tooltip, nullptr);
    EXPECT_TRUE(parse_readout(tooltip, &speed, &spread)) << tooltip;
    EXPECT_NEAR(speed, tape.speed_percent, 0.3);
    EXPECT_NEAR(spread, tape.spread_percent, 0.3);
    g_free(tooltip);
}

}  // namespace
