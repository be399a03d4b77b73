// Hand-overs that wait for a slow interface are bounded per lane.
#include "handoff.h"
#include "handoff_lane.h"
#include "plot.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// An interface thread that has not come round yet: hand-overs wait here.
std::vector<std::pair<GSourceFunc, gpointer>> queued;

void queue(GSourceFunc callback, gpointer data)
{
    queued.emplace_back(callback, data);
}

void run_queued()
{
    auto waiting = std::move(queued);
    queued.clear();
    for (auto &[callback, data] : waiting)
        callback(data);
}

std::vector<int> seen;

gboolean record(gpointer data)
{
    seen.push_back(GPOINTER_TO_INT(data));
    return FALSE;
}

TEST(HandoffLane, DropsBeyondItsLimitUntilTheInterfaceCatchesUp)
{
    handoff_set_poster(queue);
    handoff_lane lane{{record}, 3};
    for (int i = 1; i <= 5; i++)
        EXPECT_EQ(handoff_lane_post(&lane, GINT_TO_POINTER(i)), i <= 3 ? 1 : 0) << i;
    run_queued();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(handoff_lane_post(&lane, GINT_TO_POINTER(6)), 1);
    run_queued();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 6}));
    handoff_set_poster(nullptr);
}

TEST(HandoffLane, WithoutACallbackNothingIsQueued)
{
    handoff_set_poster(queue);
    handoff_lane lane{{nullptr}, 3};
    EXPECT_EQ(handoff_lane_post(&lane, nullptr), 0);
    EXPECT_TRUE(queued.empty());
    handoff_set_poster(nullptr);
}

int rows_taken = 0;

gboolean take_row(gpointer row)
{
    rows_taken++;
    g_free(row);
    return FALSE;
}

TEST(HandoffLane, PlotRowsWaitingForTheInterfaceAreBounded)
{
    // A stream far faster than a tape plays: 1000 rows finished before the
    // interface runs once. Memory stays bounded; drawing resumes afterwards.
    handoff_set_poster(queue);
    static unsigned char image[10 * 3 * 10];
    plot_set_image(10, 10, 10, image, 30);
    plot_set_row_consumer(take_row);
    guint32 sum = 0;
    for (int i = 0; i < 2000; i++)
        plot_add_sample(&sum, 50000);
    EXPECT_EQ(queued.size(), 256u);
    run_queued();
    EXPECT_EQ(rows_taken, 256);
    plot_add_sample(&sum, 50000);
    plot_add_sample(&sum, 50000);
    run_queued();
    EXPECT_EQ(rows_taken, 257);
    plot_forget_image();
    handoff_set_poster(nullptr);
}

}  // namespace
