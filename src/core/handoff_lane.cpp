#include "handoff_lane.h"

#include "handoff.h"

namespace {

struct lane_item {
    handoff_lane *lane;
    gpointer data;
};

gboolean run_lane_item(gpointer item_pointer)
{
    auto *item = static_cast<lane_item *>(item_pointer);
    handoff_lane *lane = item->lane;
    gpointer data = item->data;
    g_free(item);
    lane->waiting.fetch_sub(1);
    lane->callback.load()(data);
    return FALSE;
}

}  // namespace

int handoff_lane_post(handoff_lane *lane, gpointer data)
{
    if (!lane->callback.load())
        return 0;
    if (lane->waiting.fetch_add(1) >= lane->limit) {
        lane->waiting.fetch_sub(1);
        return 0;
    }
    auto *item = g_new(lane_item, 1);
    item->lane = lane;
    item->data = data;
    handoff_post(run_lane_item, item);
    return 1;
}
