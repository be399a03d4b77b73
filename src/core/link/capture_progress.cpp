#include "link/capture_progress.h"

#include <atomic>
#include <mutex>

// Independent figures for a display: none orders any other memory.
static std::atomic<guint64> published_ticks{0};
static std::atomic<guint64> published_bytes{0};
static std::atomic<guint64> published_pulses{0};
static std::atomic<guint64> published_read{0};
// Several figures that belong together.
static std::mutex health_lock;
static tape_health_figures published_health;

void capture_progress_reset(void)
{
    capture_progress_publish(0, 0);
    capture_progress_publish_pulses(0);
    capture_progress_publish_read(0);
    const tape_health_figures none{};
    capture_progress_publish_health(&none);
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

void capture_progress_publish_pulses(guint64 pulses)
{
    published_pulses.store(pulses, std::memory_order_relaxed);
}

guint64 capture_progress_pulses(void)
{
    return published_pulses.load(std::memory_order_relaxed);
}

void capture_progress_publish_read(guint64 ticks)
{
    published_read.store(ticks, std::memory_order_relaxed);
}

guint64 capture_progress_read_ticks(void)
{
    return published_read.load(std::memory_order_relaxed);
}

void capture_progress_publish_health(const tape_health_figures *figures)
{
    std::lock_guard<std::mutex> hold(health_lock);
    published_health = *figures;
}

void capture_progress_health(tape_health_figures *figures)
{
    std::lock_guard<std::mutex> hold(health_lock);
    *figures = published_health;
}
