#include "capture_progress.h"

#include <atomic>

// Two independent figures for a display: neither orders any other memory.
static std::atomic<guint64> published_ticks{0};
static std::atomic<guint64> published_bytes{0};

void capture_progress_reset(void)
{
    capture_progress_publish(0, 0);
}

void capture_progress_publish(guint64 ticks, guint64 bytes)
{
    published_ticks.store(ticks, std::memory_order_relaxed);
    published_bytes.store(bytes, std::memory_order_relaxed);
}

void capture_progress_read(guint64 *ticks, guint64 *bytes)
{
    if (ticks)
        *ticks = published_ticks.load(std::memory_order_relaxed);
    if (bytes)
        *bytes = published_bytes.load(std::memory_order_relaxed);
}
