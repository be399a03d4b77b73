#include "handoff.h"

#include <atomic>

namespace {

void post_with_g_idle_add(GSourceFunc callback, gpointer data)
{
    g_idle_add(callback, data);
}

std::atomic<handoff_poster> current_poster{post_with_g_idle_add};

}  // namespace

void handoff_set_poster(handoff_poster poster)
{
    current_poster.store(poster ? poster : post_with_g_idle_add);
}

void handoff_post(GSourceFunc callback, gpointer data)
{
    current_poster.load()(callback, data);
}
