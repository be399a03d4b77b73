// The plot's row builder: rows of 100000 ticks, marks, bands, the template
// reset for the current width, and scrolling rows into raw image memory.
#include "link/plot.h"
#include "tape/rom_format.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <vector>

namespace {

std::vector<std::vector<unsigned char>> taken;

void keep_row(const unsigned char *row, void *)
{
    taken.emplace_back(row, row + PLOT_ROW_BYTES);
}

// Every row finished so far, oldest first, taken as the interface takes them.
const std::vector<std::vector<unsigned char>> &rows()
{
    plot_take_waiting_rows(keep_row, nullptr);
    return taken;
}

void forget_rows()
{
    rows();
    taken.clear();
}

// Six columns either side of each ROM window's centre.
bool in_band(int x)
{
    for (pulse_window window : {rom_short_pulse, rom_medium_pulse, rom_long_pulse})
        if (std::abs(x - int(pulse_window_centre(window))) <= 6)
            return true;
    return false;
}

struct pixel {
    unsigned char r, g, b;
    bool operator==(const pixel &) const = default;
};

pixel at(const std::vector<unsigned char> &row, int x)
{
    return {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
}

class Plot : public ::testing::Test {
protected:
    void SetUp() override { forget_rows(); }
    void TearDown() override
    {
        plot_forget_image();
        free(image);
    }

    // An image store as GdkPixbuf lays it out: padded rows, the last one
    // unpadded.
    void make_image(int width, int height, int capacity = 0)
    {
        capacity = capacity ? capacity : height;
        rowstride = (width * 3 + 3) & ~3;
        free(image);
        image_size = (size_t)(capacity - 1) * rowstride + width * 3;
        image = static_cast<unsigned char *>(calloc(image_size, 1));
        ASSERT_EQ(plot_set_image(width, height, capacity, image, rowstride), 1);
    }

    // Row y of the picture (the height rows from plot_image_top() on).
    unsigned char *picture_row(int y) { return image + (size_t)(plot_image_top() + y) * rowstride; }

    // Starts every test from an empty row under construction: the first row
    // finished flushes whatever an earlier size left in it.
    void start_with_clean_row(guint32 *sum)
    {
        plot_add_sample(sum, 60000);
        plot_add_sample(sum, 40000);
        plot_add_sample(sum, 0xFFFF);
        plot_add_sample(sum, 100000 - 0xFFFF);  // finishes the row holding the marks above
        forget_rows();
        *sum = 0;
    }

    // Finishes a row (the sum at 0) with one mark, at column.
    static void finish_row_marked(guint32 *sum, int column)
    {
        plot_add_sample(sum, column * 8);
        plot_add_sample(sum, 50000);               // beyond the row: not drawn
        plot_add_sample(sum, 50000 - column * 8);  // finishes the row, not drawn either
    }

    unsigned char *image = nullptr;
    size_t image_size = 0;
    int rowstride = 0;
};

TEST_F(Plot, BeforeTheFirstSizeOnlyTheTickSumGrows)
{
    // Run where no earlier test can have given the plot a size.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            guint32 sum = 0;
            for (int i = 0; i < 10; i++)
                plot_add_sample(&sum, 60000);
            exit(rows().empty() && sum == 600000 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Plot, ARowIsFinishedWhenTheSumReaches100000AndKeepsTheExcess)
{
    make_image(576, 10);
    guint32 sum = 0;
    start_with_clean_row(&sum);

    plot_add_sample(&sum, 50000);
    plot_add_sample(&sum, 49999);
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(sum, 99999u);

    plot_add_sample(&sum, 30);  // sum 100029: one row, 29 ticks carried
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(sum, 29u);
    // The finished row holds the earlier pulses (columns 6250 and 6249 are not
    // drawn, so it is the bare template); the 30-tick pulse is in the new row.
    for (int x = 0; x < 576; x++)
        EXPECT_EQ(at(rows()[0], x), (pixel{0, 0, static_cast<unsigned char>(in_band(x) ? 80 : 0)})) << x;

    plot_add_sample(&sum, 50000);
    plot_add_sample(&sum, 100000 - 29 - 50000 - 30);
    plot_add_sample(&sum, 30);
    ASSERT_EQ(rows().size(), 2u);
    EXPECT_EQ(at(rows()[1], 3), (pixel{0, 255, 0}));
}

TEST_F(Plot, MarksAreGreenOnBlackAndOnTheBands)
{
    make_image(2048, 4);
    guint32 sum = 0;
    start_with_clean_row(&sum);
    plot_add_sample(&sum, 0);            // column 0
    plot_add_sample(&sum, 94 * 8 + 7);   // column 94, a band centre
    plot_add_sample(&sum, 300 * 8);      // column 300
    plot_add_sample(&sum, 300 * 8 + 3);  // the same column again: presence, not counts
    plot_add_sample(&sum, 8 * 2047 + 7); // the last column drawn
    plot_add_sample(&sum, 16384);        // beyond the row: counts, marks nothing
    plot_add_sample(&sum, 100000 - sum); // finishes the row; its own column is not drawn
    ASSERT_EQ(rows().size(), 1u);
    const auto &row = rows()[0];
    EXPECT_EQ(at(row, 0), (pixel{0, 255, 0}));
    EXPECT_EQ(at(row, 94), (pixel{0, 255, 80}));
    EXPECT_EQ(at(row, 300), (pixel{0, 255, 0}));
    EXPECT_EQ(at(row, 2047), (pixel{0, 255, 0}));
    int lit = 0;
    for (int x = 0; x < PLOT_ROW_PIXELS; x++)
        lit += at(row, x).g != 0;
    EXPECT_EQ(lit, 4);
    for (int x = 0; x < PLOT_ROW_PIXELS; x++)
        EXPECT_EQ(at(row, x).b, in_band(x) ? 80 : 0) << x;
}

TEST_F(Plot, MarksBeyondANarrowPlotLeaveNoTraceInLaterRows)
{
    make_image(576, 4);
    guint32 sum = 0;
    start_with_clean_row(&sum);
    // Each row taken on its own, as frames take them, so that each lands
    // where the one before it was kept.
    auto finished_row_marked_at = [&](int column) {
        plot_add_sample(&sum, column * 8);
        plot_add_sample(&sum, 50000);
        plot_add_sample(&sum, 50000 - column * 8);
        std::vector<unsigned char> row = rows().at(0);
        taken.clear();
        return row;
    };
    EXPECT_EQ(at(finished_row_marked_at(1000), 1000), (pixel{0, 255, 0}));  // off the visible plot
    // Reset from the 576-pixel template: everything beyond it is black.
    std::vector<unsigned char> near = finished_row_marked_at(10);
    for (int x = 576; x < PLOT_ROW_PIXELS; x++)
        ASSERT_EQ(at(near, x), (pixel{0, 0, 0})) << x;
    std::vector<unsigned char> far = finished_row_marked_at(1500);
    EXPECT_EQ(at(far, 1500), (pixel{0, 255, 0}));
    EXPECT_EQ(at(far, 1000), (pixel{0, 0, 0}));
}

TEST_F(Plot, TheTemplateFollowsTheWidth)
{
    make_image(120, 4);  // cuts the second band and drops the third
    guint32 sum = 0;
    start_with_clean_row(&sum);
    plot_add_sample(&sum, 50000);
    plot_add_sample(&sum, 50000);
    ASSERT_EQ(rows().size(), 1u);
    for (int x = 0; x < PLOT_ROW_PIXELS; x++)
        ASSERT_EQ(at(rows()[0], x).b, (in_band(x) && x < 120) ? 80 : 0) << x;
}

// Waiting rows are drawn when taken, for the width at that moment: after the
// plot narrows, their bands end there and nothing is read beyond the new
// template; their marks stay wherever they fell.
TEST_F(Plot, RowsFinishedBeforeTheWidthChangedAreDrawnAtTheNewWidth)
{
    make_image(600, 4);
    guint32 sum = 0;
    start_with_clean_row(&sum);
    finish_row_marked(&sum, 10);
    finish_row_marked(&sum, 500);
    make_image(120, 4);
    ASSERT_EQ(rows().size(), 2u);
    for (int x = 0; x < PLOT_ROW_PIXELS; x++) {
        const unsigned char band = in_band(x) && x < 120 ? 80 : 0;
        ASSERT_EQ(at(rows()[0], x), (pixel{0, static_cast<unsigned char>(x == 10 ? 255 : 0), band})) << x;
        ASSERT_EQ(at(rows()[1], x), (pixel{0, static_cast<unsigned char>(x == 500 ? 255 : 0), band})) << x;
    }
}

TEST_F(Plot, RowsScrollIntoTheImageBottomUp)
{
    const int width = 5, height = 3;
    make_image(width, height);
    ASSERT_GT(rowstride, width * 3);  // padded rows, as a pixbuf has them
    std::vector<unsigned char> row(PLOT_ROW_BYTES);
    for (int n = 1; n <= 4; n++) {
        memset(row.data(), n, row.size());
        ASSERT_EQ(plot_copy_row_to_image(row.data()), 1);
    }
    // Newest at the bottom: rows 2, 3, 4 from top to bottom.
    for (int y = 0; y < height; y++)
        for (int b = 0; b < width * 3; b++)
            ASSERT_EQ(picture_row(y)[b], y + 2) << "row " << y << " byte " << b;
}

TEST_F(Plot, SpareStoreRowsShowTheSamePictureAsMovingItEveryRow)
{
    // The picture must be the newest rows, oldest at the top, whatever the
    // store's spare room, also across the moves back to the store's start.
    const int width = 4, height = 5;
    for (int capacity : {5, 6, 7, 10, 13}) {
        SCOPED_TRACE("store rows " + std::to_string(capacity));
        make_image(width, height, capacity);
        std::vector<unsigned char> row(PLOT_ROW_BYTES);
        for (int n = 1; n <= 40; n++) {
            memset(row.data(), n, row.size());
            ASSERT_EQ(plot_copy_row_to_image(row.data()), 1);
            ASSERT_LE(plot_image_top() + height, capacity);
            for (int y = 0; y < height; y++) {
                int expected = n - (height - 1 - y);
                for (int b = 0; b < width * 3; b++)
                    ASSERT_EQ(picture_row(y)[b], expected > 0 ? expected : 0) << "after " << n << " row " << y;
            }
        }
    }
}

TEST_F(Plot, AnImageWiderThanARowKeepsItsRightPartBlack)
{
    const int width = 2100, height = 2;
    make_image(width, height);
    std::vector<unsigned char> row(PLOT_ROW_BYTES, 0x77);
    ASSERT_EQ(plot_copy_row_to_image(row.data()), 1);
    ASSERT_EQ(plot_copy_row_to_image(row.data()), 1);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            unsigned char expected = x < PLOT_ROW_PIXELS ? 0x77 : 0;
            ASSERT_EQ(picture_row(y)[3 * x], expected) << x;
        }
    }
}

TEST_F(Plot, WithoutAnImageRowsAreDroppedAndNothingIsWritten)
{
    make_image(10, 10);
    std::vector<unsigned char> before(image, image + image_size);
    plot_forget_image();
    std::vector<unsigned char> row(PLOT_ROW_BYTES, 0x55);
    EXPECT_EQ(plot_copy_row_to_image(row.data()), 0);
    EXPECT_EQ(std::vector<unsigned char>(image, image + image_size), before);
    // The builder goes on working meanwhile.
    guint32 sum = 0;
    plot_add_sample(&sum, 60000);
    plot_add_sample(&sum, 60000);
    EXPECT_EQ(rows().size(), 1u);
}

TEST_F(Plot, RowsWaitingLongerThanThePictureIsHighGiveWayAndThePictureIsTheSame)
{
    // The interface is held up while 40 rows finish; the store keeps the
    // picture's height of them, the newest.
    const int width = 48, height = 5;
    make_image(width, height, 2 * height);
    guint32 sum = 0;
    start_with_clean_row(&sum);
    auto finish_row_marked_at = [&](int column) { finish_row_marked(&sum, column); };
    for (int n = 1; n <= 40; n++)
        finish_row_marked_at(n);
    EXPECT_EQ(plot_show_waiting_rows(), height);
    for (int y = 0; y < height; y++) {
        int newest = 40 - (height - 1 - y);
        for (int x = 0; x < width; x++)
            ASSERT_EQ(picture_row(y)[3 * x + 1], x == newest ? 255 : 0) << "row " << y << " column " << x;
    }
    // Rows that gave way are still counted.
    for (int n = 1; n <= 12; n++)
        finish_row_marked_at(n);
    EXPECT_EQ(plot_take_waiting_rows(keep_row, nullptr), 12);
    EXPECT_EQ(taken.size(), size_t(height));
}

TEST_F(Plot, ResizingWhileRowsWaitKeepsTheNewestOfThemInOrder)
{
    const int width = 48;
    make_image(width, 5);
    guint32 sum = 0;
    start_with_clean_row(&sum);
    auto finish_row_marked_at = [&](int column) { finish_row_marked(&sum, column); };
    auto expect_bottom_rows = [&](int height, std::vector<int> columns) {
        for (size_t i = 0; i < columns.size(); i++) {
            int y = height - int(columns.size()) + int(i);
            for (int x = 0; x < width; x++)
                ASSERT_EQ(picture_row(y)[3 * x + 1], x == columns[i] ? 255 : 0) << "row " << y << " column " << x;
        }
    };
    for (int n = 1; n <= 4; n++)
        finish_row_marked_at(n);
    make_image(width, 3);  // smaller: the oldest waiting row gives way
    finish_row_marked_at(5);
    EXPECT_EQ(plot_show_waiting_rows(), 3);
    expect_bottom_rows(3, {3, 4, 5});

    finish_row_marked_at(6);
    finish_row_marked_at(7);
    make_image(width, 6);  // larger: every waiting row stays
    finish_row_marked_at(8);
    EXPECT_EQ(plot_show_waiting_rows(), 3);
    expect_bottom_rows(6, {6, 7, 8});
}

}  // namespace
