#include "tape/tape_time.h"

static const guint64 seconds_per_minute = 60;
static const guint64 ticks_per_tenth = tape_ticks_per_second / 10;

gchar *tape_time_text(guint64 ticks)
{
    guint64 seconds = ticks / tape_ticks_per_second;
    return g_strdup_printf("%" G_GUINT64_FORMAT ":%02u", seconds / seconds_per_minute,
                           (unsigned)(seconds % seconds_per_minute));
}

gchar *tape_time_text_tenths(guint64 ticks)
{
    guint64 tenths = ticks / ticks_per_tenth;
    guint64 seconds = tenths / 10;
    return g_strdup_printf("%" G_GUINT64_FORMAT ":%02u.%u", seconds / seconds_per_minute,
                           (unsigned)(seconds % seconds_per_minute), (unsigned)(tenths % 10));
}
