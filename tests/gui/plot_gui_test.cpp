// The pulse plot, the activity light and the name display in the real main
// window: image pixels, rows scrolled in, resizing, and what reaches the screen.
#include "callbacks_frame.h"
#include "callbacks_indicator.h"
#include "callbacks_plot.h"
#include "common_petscii.h"
#include "devsim.h"
#include "gui_support.h"
#include "link/handoff.h"
#include "link/handoff_frame.h"
#include "main.h"
#include "options.h"
#include "link/plot.h"
#include "link/sample_pass.h"
#include "link/serial.h"
#include "support.h"
#include "tape_demo.h"
#include "tape_file.h"

#include <gtest/gtest.h>

#include <string.h>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

struct rgb {
    guchar r, g, b;
    bool operator==(const rgb &) const = default;
};

rgb pixel_at(GdkPixbuf *image, int x, int y)
{
    const guchar *p = gdk_pixbuf_get_pixels(image) + y * gdk_pixbuf_get_rowstride(image) +
                      x * gdk_pixbuf_get_n_channels(image);
    return {p[0], p[1], p[2]};
}

bool in_band(int x)
{
    return (x >= 88 && x <= 100) || (x >= 126 && x <= 138) || (x >= 166 && x <= 178);
}

rgb background(int x)
{
    return {0, 0, static_cast<guchar>(in_band(x) ? 80 : 0)};
}

// A finished row as the worker hands it over: marks at the given columns.
gpointer make_row(std::initializer_list<int> marks)
{
    auto *row = static_cast<guchar *>(g_malloc0(PLOT_ROW_BYTES));
    plot_draw_reference_bands(row, PLOT_ROW_PIXELS);
    for (int x : marks)
        row[3 * x + 1] = 255;
    return row;
}

GtkWidget *plot_area()
{
    return lookup_widget(window_main, "drawingarea_main");
}

// Whether row y of the image is the background with marks exactly at `marks`.
::testing::AssertionResult row_is(GdkPixbuf *image, int y, std::initializer_list<int> marks)
{
    int width = gdk_pixbuf_get_width(image);
    for (int x = 0; x < width; x++) {
        rgb expected = background(x);
        for (int mark : marks)
            if (mark == x)
                expected.g = 255;
        rgb seen = pixel_at(image, x, y);
        if (!(seen == expected))
            return ::testing::AssertionFailure() << "row " << y << " column " << x << ": " << int(seen.r) << ","
                                                 << int(seen.g) << "," << int(seen.b);
    }
    return ::testing::AssertionSuccess();
}

// The plot's picture as shown at the moment it is taken (a view into the
// image; rows added later may not show in it).
struct picture {
    GdkPixbuf *image = callbacks_plot_picture();
    picture() = default;
    picture(const picture &) = delete;
    picture &operator=(const picture &) = delete;
    ~picture()
    {
        if (image)
            g_object_unref(image);
    }
    operator GdkPixbuf *() const { return image; }
};

class Plot : public gui_test {};

TEST_F(Plot, ImageHasTheAreaSizeAndIsBlackWithThreeBands)
{
    picture image;
    ASSERT_NE(image.image, nullptr);
    GtkAllocation area;
    gtk_widget_get_allocation(plot_area(), &area);
    EXPECT_EQ(gdk_pixbuf_get_width(image), area.width);
    EXPECT_EQ(gdk_pixbuf_get_height(image), area.height);
    EXPECT_FALSE(gdk_pixbuf_get_has_alpha(image));
    for (int y : {0, area.height / 2, area.height - 1})
        EXPECT_TRUE(row_is(image, y, {}));
}

TEST_F(Plot, RowsEnterAtTheBottomAndReachTheScreen)
{
    idle_copy_row_to_drawingarea_and_free(make_row({10, 94}));
    idle_copy_row_to_drawingarea_and_free(make_row({20}));
    picture image;
    int height = gdk_pixbuf_get_height(image);
    EXPECT_TRUE(row_is(image, height - 1, {20}));
    EXPECT_TRUE(row_is(image, height - 2, {10, 94}));
    EXPECT_TRUE(row_is(image, height - 3, {}));
    EXPECT_EQ(pixel_at(image, 94, height - 2), (rgb{0, 255, 80}));

    // On screen after the scroll and the expose of the new line.
    GtkAllocation area;
    gtk_widget_get_allocation(plot_area(), &area);
    bool shown = test_pump_until([&] {
        GdkPixbuf *screen = test_window_pixbuf(window_main);
        if (!screen)
            return false;
        bool ok = pixel_at(screen, area.x + 20, area.y + height - 1) == (rgb{0, 255, 0}) &&
                  pixel_at(screen, area.x + 10, area.y + height - 2) == (rgb{0, 255, 0}) &&
                  pixel_at(screen, area.x + 94, area.y + height - 2) == (rgb{0, 255, 80}) &&
                  pixel_at(screen, area.x + 30, area.y + height - 1) == (rgb{0, 0, 0});
        g_object_unref(screen);
        return ok;
    });
    EXPECT_TRUE(shown);
}

TEST_F(Plot, ManyRowsKeepThePictureInOrderOnScreenToo)
{
    GtkAllocation area;
    gtk_widget_get_allocation(plot_area(), &area);
    const int rows = 2 * area.height + 7;  // the image's store is used up more than once
    for (int n = 0; n < rows; n++)
        idle_copy_row_to_drawingarea_and_free(make_row({n % 500}));
    picture image;
    for (int y = 0; y < area.height; y++)
        ASSERT_TRUE(row_is(image, y, {(rows - area.height + y) % 500}));
    bool shown = test_pump_until([&] {
        GdkPixbuf *screen = test_window_pixbuf(window_main);
        if (!screen)
            return false;
        bool same = true;
        for (int y : {0, area.height / 3, area.height - 2, area.height - 1}) {
            int column = (rows - area.height + y) % 500;
            same = same && pixel_at(screen, area.x + column, area.y + y).g == 255 &&
                   pixel_at(screen, area.x + (column + 1) % 500, area.y + y).g == 0;
        }
        g_object_unref(screen);
        return same;
    });
    EXPECT_TRUE(shown);
}

// The picture's pixels, row by row.
std::vector<guchar> picture_pixels()
{
    picture image;
    std::vector<guchar> pixels;
    int width = gdk_pixbuf_get_width(image), height = gdk_pixbuf_get_height(image);
    for (int y = 0; y < height; y++) {
        const guchar *row = gdk_pixbuf_get_pixels(image) + y * gdk_pixbuf_get_rowstride(image);
        pixels.insert(pixels.end(), row, row + 3 * width);
    }
    return pixels;
}

void keep_row_copy(const unsigned char *row, void *rows)
{
    static_cast<std::vector<gpointer> *>(rows)->push_back(g_memdup2(row, PLOT_ROW_BYTES));
}

// A capture's worth of pulses from 40 to 4000 ticks, enough for `rows` rows,
// fed to a clean plot: no rows waiting, an empty row under construction.
struct fixed_stream {
    std::vector<unsigned short> samples;
    guint32 sum = 0;

    explicit fixed_stream(int rows)
    {
        std::mt19937 random(11);
        std::uniform_int_distribution<unsigned> length(40, 4000);
        for (guint64 ticks = 0; ticks < guint64(rows) * PLOT_TICKS_PER_ROW;) {
            samples.push_back(static_cast<unsigned short>(length(random)));
            ticks += samples.back();
        }
    }
    void start_clean()
    {
        plot_add_sample(&sum, 0xFFFF);  // finishes whatever row was begun; marks nothing
        plot_add_sample(&sum, 0xFFFF);
        std::vector<gpointer> rows;
        plot_take_waiting_rows(keep_row_copy, &rows);
        for (gpointer row : rows)
            g_free(row);
        plot_clear();
        sum = 0;
    }
};

// Pumps the main loop until everything queued so far (a frame that shows
// every waiting row, in the end) has run.
void run_queued_hand_overs()
{
    static bool reached;
    reached = false;
    handoff_post([](gpointer) -> gboolean {
        reached = true;
        return FALSE;
    }, nullptr);
    ASSERT_TRUE(test_pump_until([] { return reached; }));
}

// Compares the plot on screen with the picture, leaving out `hidden` (in the
// drawing area's coordinates) when given.
bool screen_shows_picture(const GdkRectangle *hidden = nullptr)
{
    GtkAllocation area;
    gtk_widget_get_allocation(plot_area(), &area);
    GdkPixbuf *screen = test_window_pixbuf(window_main);
    if (!screen)
        return false;
    bool same = true;
    picture image;
    for (int y = 0; y < area.height && same; y++)
        for (int x = 0; x < area.width && same; x++) {
            const bool out_of_sight = hidden && x >= hidden->x && x < hidden->x + hidden->width &&
                                      y >= hidden->y && y < hidden->y + hidden->height;
            same = out_of_sight || pixel_at(screen, area.x + x, area.y + y) == pixel_at(image, x, y);
        }
    g_object_unref(screen);
    return same;
}

TEST_F(Plot, FramesShowTheSamePictureAsRowByRowAlsoAfterTheInterfaceWasHeldUp)
{
    GtkAllocation area;
    gtk_widget_get_allocation(plot_area(), &area);
    fixed_stream stream(3 * area.height + 17);

    // Row by row, each through the idle callback for one row.
    stream.start_clean();
    for (unsigned short sample : stream.samples) {
        plot_add_sample(&stream.sum, sample);
        std::vector<gpointer> rows;
        plot_take_waiting_rows(keep_row_copy, &rows);
        for (gpointer row : rows)
            idle_copy_row_to_drawingarea_and_free(row);
    }
    const std::vector<guchar> row_by_row = picture_pixels();

    // A worker thread finishes the rows, pausing now and then, while the
    // frame clock shows them in batches of any size.
    callbacks_frame_install();
    stream.start_clean();
    std::atomic<bool> fed{false};
    std::thread worker([&] {
        for (size_t i = 0; i < stream.samples.size(); i++) {
            plot_add_sample(&stream.sum, stream.samples[i]);
            if (i % 200 == 0)
                g_usleep(1000);
        }
        handoff_frame_flush();
        fed = true;
    });
    EXPECT_TRUE(test_pump_until([&] { return fed.load(); }, 60000));
    worker.join();
    run_queued_hand_overs();
    EXPECT_TRUE(picture_pixels() == row_by_row);
    // The screen moved with the picture: it shows the same.
    ASSERT_TRUE(test_pump_until([] { return screen_shows_picture(); }));

    // The interface held up while all the rows finish: one frame shows them.
    stream.start_clean();
    for (unsigned short sample : stream.samples)
        plot_add_sample(&stream.sum, sample);
    handoff_frame_flush();
    run_queued_hand_overs();
    EXPECT_TRUE(picture_pixels() == row_by_row);
    EXPECT_TRUE(test_pump_until([] { return screen_shows_picture(); }));
}

// Frames move the picture on screen. Where another window covers part of it,
// the rows that scroll out from under the cover must come from the picture,
// not from pixels the screen never had; and once the cover goes, all is whole.
TEST_F(Plot, APartlyCoveredPictureShowsRightAroundTheCoverAndWholeOnceItGoes)
{
    GtkAllocation area;
    gtk_widget_get_allocation(plot_area(), &area);
    int left = 0, top = 0;
    gdk_window_get_origin(gtk_widget_get_window(window_main), &left, &top);
    const GdkRectangle hidden = {area.width / 4, area.height / 3, area.width / 2, area.height / 3};
    GtkWidget *cover = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_default_size(GTK_WINDOW(cover), hidden.width, hidden.height);
    gtk_window_move(GTK_WINDOW(cover), left + area.x + hidden.x, top + area.y + hidden.y);
    bool partly_covered = false;
    gulong told = g_signal_connect(window_main, "visibility-notify-event",
                                   G_CALLBACK(+[](GtkWidget *, GdkEventVisibility *event, gpointer flag) {
                                       *static_cast<bool *>(flag) = event->state == GDK_VISIBILITY_PARTIAL;
                                       return FALSE;
                                   }),
                                   &partly_covered);
    gtk_widget_show(cover);
    ASSERT_TRUE(test_pump_until([&] { return partly_covered; }));
    g_signal_handler_disconnect(window_main, told);

    fixed_stream stream(2 * area.height);
    stream.start_clean();
    for (size_t i = 0; i < stream.samples.size(); i++) {
        plot_add_sample(&stream.sum, stream.samples[i]);
        if (i % 50 == 49) {
            callbacks_plot_show_waiting_rows();
            test_pump_pending();
        }
    }
    callbacks_plot_show_waiting_rows();
    EXPECT_TRUE(test_pump_until([&] { return screen_shows_picture(&hidden); }));
    gtk_widget_destroy(cover);
    EXPECT_TRUE(test_pump_until([] { return screen_shows_picture(); }));
}

TEST_F(Plot, ResizingKeepsTheNewestRowsAtTheBottom)
{
    idle_copy_row_to_drawingarea_and_free(make_row({1}));
    idle_copy_row_to_drawingarea_and_free(make_row({2}));
    idle_copy_row_to_drawingarea_and_free(make_row({3, 500}));
    GtkAllocation before;
    gtk_widget_get_allocation(plot_area(), &before);

    // Wider than a row, whatever the list beside the plot takes.
    gtk_window_resize(GTK_WINDOW(window_main), 2200 + window_main->allocation.width - before.width, 1000);
    ASSERT_TRUE(test_pump_until([&] {
        GtkAllocation now;
        gtk_widget_get_allocation(plot_area(), &now);
        return now.height > before.height + 100 && now.width > 2048;
    }));
    {
        picture image;
        int height = gdk_pixbuf_get_height(image);
        ASSERT_EQ(gdk_pixbuf_get_width(image), plot_area()->allocation.width);
        ASSERT_EQ(height, plot_area()->allocation.height);
        EXPECT_TRUE(row_is(image, height - 1, {3, 500}));
        EXPECT_TRUE(row_is(image, height - 2, {2}));
        EXPECT_TRUE(row_is(image, height - 3, {1}));
        EXPECT_TRUE(row_is(image, 0, {}));  // new rows at the top: black with bands
    }
    // Wider than a row: the part beyond 2048 columns stays black.
    idle_copy_row_to_drawingarea_and_free(make_row({2047}));
    {
        picture image;
        int height = gdk_pixbuf_get_height(image);
        EXPECT_EQ(pixel_at(image, 2047, height - 1), (rgb{0, 255, 0}));
        EXPECT_EQ(pixel_at(image, 2048, height - 1), (rgb{0, 0, 0}));
    }

    // Back to the smallest size: the oldest rows and the right part go.
    gtk_window_resize(GTK_WINDOW(window_main), 1, 1);
    ASSERT_TRUE(test_pump_until([&] {
        GtkAllocation now;
        gtk_widget_get_allocation(plot_area(), &now);
        return now.height < 700 && now.width < 2048;
    }));
    picture image;
    int height = gdk_pixbuf_get_height(image);
    EXPECT_EQ(gdk_pixbuf_get_width(image), plot_area()->allocation.width);
    EXPECT_EQ(height, plot_area()->allocation.height);
    EXPECT_TRUE(row_is(image, height - 1, {}));  // its mark at 2047 is off the picture now
    EXPECT_TRUE(row_is(image, height - 2, {3, 500}));
    EXPECT_TRUE(row_is(image, height - 4, {1}));
}

TEST_F(Plot, WithoutAnImageRowsAreDroppedAndDrawingWaits)
{
    // A size change whose image cannot be made leaves the plot without one.
    GtkWidget *area = plot_area();
    GtkAllocation real = area->allocation;
    area->allocation.width = 0;
    EXPECT_FALSE(on_drawingarea_main_configure_event(area, nullptr, nullptr));
    area->allocation = real;
    EXPECT_EQ(picture().image, nullptr);
    idle_copy_row_to_drawingarea_and_free(make_row({5}));
    plot_clear();
    GdkEventExpose expose{};
    expose.type = GDK_EXPOSE;
    expose.window = area->window;
    expose.area = {0, 0, 10, 10};
    EXPECT_FALSE(on_drawingarea_main_expose_event(area, &expose, nullptr));
    // The next size change brings it back, black with bands.
    EXPECT_TRUE(on_drawingarea_main_configure_event(area, nullptr, nullptr));
    picture back;
    ASSERT_NE(back.image, nullptr);
    EXPECT_TRUE(row_is(back, real.height - 1, {}));
}

TEST_F(Plot, PreviewDrawsTheTapePulsesAndTheNextCaptureStartsClean)
{
    devsim_options options;
    options.bytes_per_second = 0;
    auto bytes = dmp_bytes_of_samples(tape_demo_samples());
    options.stream = [bytes](const devsim_sampling_request &) { return devsim_stream_from_bytes(bytes); };
    devsim *sim = devsim_start(options);
    ASSERT_NE(sim, nullptr);
    g_free(options_device_port_string);
    options_device_port_string = g_strdup(devsim_port_name(sim).c_str());

    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    ASSERT_TRUE(test_pump_until([] { return test_statusbar_text() == " Operation succeeded"; }, 20000));
    picture image;
    int width = gdk_pixbuf_get_width(image), height = gdk_pixbuf_get_height(image);
    int short_marks = 0, far_marks = 0;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            if (pixel_at(image, x, y).g == 255) {
                short_marks += x >= 88 && x <= 100;
                far_marks += x > 250;
            }
        }
    }
    // The ROM loader's short pulses sit in the first band; nothing on this
    // tape is longer than the long band.
    EXPECT_GT(short_marks, 10);
    EXPECT_EQ(far_marks, 0);

    // A new capture clears the picture before anything arrives.
    test_click(lookup_widget(window_main, "toolbutton_main_monitor"));
    picture cleared;
    for (int y : {0, height / 2, height - 1})
        EXPECT_TRUE(row_is(cleared, y, {}));
    // The status still shows the first capture's end: wait for the second's,
    // when the toolbar is at rest again.
    ASSERT_TRUE(test_pump_until(
        [] { return gtk_widget_get_sensitive(lookup_widget(window_main, "toolbutton_main_monitor")); }, 20000));
    EXPECT_EQ(test_statusbar_text(), " Operation succeeded");
    devsim_stop(sim);
}

TEST_F(Plot, LightTurnsRedAndDarkAndShowsOnScreen)
{
    EXPECT_EQ(callbacks_indicator_state(), 0);
    GtkWidget *light = lookup_widget(window_main, "drawingarea_flash");
    auto screen_colour = [&] {
        GdkPixbuf *screen = test_window_pixbuf(window_main);
        rgb colour = screen ? pixel_at(screen, light->allocation.x + light->allocation.width / 2,
                                       light->allocation.y + light->allocation.height / 2)
                            : rgb{1, 1, 1};
        if (screen)
            g_object_unref(screen);
        return colour;
    };
    idle_led_on(nullptr);
    EXPECT_EQ(callbacks_indicator_state(), 1);
    EXPECT_TRUE(test_pump_until([&] { return screen_colour() == rgb{255, 0, 0}; }));
    idle_led_on(nullptr);
    EXPECT_EQ(callbacks_indicator_state(), 1);
    idle_led_off(nullptr);
    EXPECT_EQ(callbacks_indicator_state(), 0);
    EXPECT_TRUE(test_pump_until([&] { return screen_colour() == rgb{0, 0, 0}; }));
    // A later size change keeps the images it has.
    EXPECT_FALSE(on_drawingarea_flash_configure_event(light, nullptr, nullptr));
    EXPECT_EQ(callbacks_indicator_state(), 0);
}

TEST_F(Plot, FoundNameReplacesTheStatusText)
{
    auto *found = g_new0(sample_pass_name, 1);
    memcpy(found->name, "GAME\x93 TWO        ", 16);
    idle_print_petscii_filename(found);
    EXPECT_EQ(test_statusbar_text(), " Filename intercepted: GAME TWO");
}

TEST(Light, RequestsBeforeTheWindowExistsChangeNothing)
{
    test_gui_init();
    idle_led_on(nullptr);
    idle_led_off(nullptr);
    EXPECT_EQ(callbacks_indicator_state(), -1);
    test_shell_start();
    EXPECT_EQ(callbacks_indicator_state(), 0);
    test_shell_stop();
    EXPECT_TRUE(test_log_take().empty());
}

}  // namespace
