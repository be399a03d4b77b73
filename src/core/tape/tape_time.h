// Tape time: how long a stretch of tape lasts, counted in the device's ticks.
//
// Every sample is a pulse length in ticks, so the sum of a capture's samples
// is the tape time it covers. Plain functions of their arguments; any thread.
#pragma once

#include <glib.h>

// The device counts its 16 MHz clock divided by 8. The pulse windows of the
// three loaders' name decoders rest on this rate, and so do the tape clock
// and the conversion to machine cycles for TAP images.
constexpr guint64 tape_ticks_per_second = 2000000;

// "m:ss" for the tape time in ticks, whole seconds (a tape's running time:
// minutes do not wrap into hours). The caller frees the text with g_free.
gchar *tape_time_text(guint64 ticks);

// "m:ss.s", the same with tenths of a second, for a terminal's progress line.
// The caller frees the text with g_free.
gchar *tape_time_text_tenths(guint64 ticks);
