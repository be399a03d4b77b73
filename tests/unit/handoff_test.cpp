#include "link/handoff.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

std::vector<std::pair<GSourceFunc, gpointer>> recorded;
std::vector<std::pair<int, gpointer>> ran;

void record(GSourceFunc callback, gpointer data)
{
    recorded.emplace_back(callback, data);
}

gboolean first(gpointer data) { ran.emplace_back(1, data); return FALSE; }
gboolean second(gpointer data) { ran.emplace_back(2, data); return FALSE; }

TEST(Handoff, InstalledPosterDeliversEachCallbackOnceWithItsDataInOrder)
{
    recorded.clear();
    ran.clear();
    handoff_set_poster(record);
    int token = 0;
    handoff_post(first, &token);
    handoff_post(second, nullptr);
    handoff_set_poster(nullptr);

    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_TRUE(ran.empty()) << "nothing runs before the interface thread dispatches it";
    for (auto &[callback, data] : recorded)
        EXPECT_FALSE(callback(data)) << "a hand-over runs once";
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[0], std::make_pair(1, static_cast<gpointer>(&token)));
    EXPECT_EQ(ran[1], std::make_pair(2, static_cast<gpointer>(nullptr)));
}

gboolean count_and_quit(gpointer data)
{
    auto *loop_and_count = static_cast<std::pair<GMainLoop *, int> *>(data);
    if (++loop_and_count->second == 2)
        g_main_loop_quit(loop_and_count->first);
    return FALSE;
}

TEST(Handoff, DefaultPosterRunsCallbacksOnTheMainLoopFromAnotherThread)
{
    handoff_set_poster(nullptr);
    std::pair<GMainLoop *, int> state{g_main_loop_new(nullptr, FALSE), 0};
    std::thread worker([&] {
        handoff_post(count_and_quit, &state);
        handoff_post(count_and_quit, &state);
    });
    g_main_loop_run(state.first);
    worker.join();
    EXPECT_EQ(state.second, 2);
    g_main_loop_unref(state.first);
}

}  // namespace

namespace {

// Many hand-overs from a worker while the main loop runs: each callback runs
// exactly once, in order. Under ThreadSanitizer this also checks that what
// GLib allocates for a hand-over on the worker and frees on the main loop is
// seen as handed over.
TEST(Handoff, ManyHandOversFromAWorkerEachRunOnceInOrder)
{
    handoff_set_poster(nullptr);
    struct counter {
        GMainLoop *loop;
        std::vector<int> seen;
    } state{g_main_loop_new(nullptr, FALSE), {}};
    static constexpr int total = 2000;
    static std::vector<int> values(total);
    for (int i = 0; i < total; i++)
        values[i] = i;
    static counter *current;
    current = &state;
    std::thread worker([] {
        for (int i = 0; i < total; i++)
            handoff_post([](gpointer data) -> gboolean {
                current->seen.push_back(*static_cast<int *>(data));
                if (current->seen.size() == total)
                    g_main_loop_quit(current->loop);
                return FALSE;
            }, &values[i]);
    });
    g_main_loop_run(state.loop);
    worker.join();
    ASSERT_EQ(state.seen.size(), size_t(total));
    for (int i = 0; i < total; i++)
        ASSERT_EQ(state.seen[i], i);
    g_main_loop_unref(state.loop);
}

}  // namespace
