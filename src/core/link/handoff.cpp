#include "link/handoff.h"

#include "thread_annotations.h"

#include <atomic>

namespace {

void post_with_g_idle_add(GSourceFunc callback, gpointer data)
{
    g_idle_add(callback, data);
}

std::atomic<handoff_poster> current_poster{post_with_g_idle_add};

// Every hand-over passes through this address, so that the data a worker
// prepared is seen as published when the callback runs.
char handover_marker;

struct handover {
    GSourceFunc callback;
    gpointer data;
};

gboolean run_handover(gpointer item)
{
    thread_annotate_acquire(&handover_marker);
    auto *entry = static_cast<handover *>(item);
    const GSourceFunc callback = entry->callback;
    const gpointer data = entry->data;
    g_free(entry);
    callback(data);
    return FALSE;
}

}  // namespace

void handoff_set_poster(handoff_poster poster)
{
    current_poster.store(poster ? poster : post_with_g_idle_add);
}

void handoff_post(GSourceFunc callback, gpointer data)
{
    auto *entry = g_new(handover, 1);
    entry->callback = callback;
    entry->data = data;
    thread_annotate_release(&handover_marker);
    current_poster.load()(run_handover, entry);
}
