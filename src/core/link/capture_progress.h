// How far the running capture has come, for a tape clock: the tape time
// covered so far (the sum of the samples' ticks) and the bytes written to the
// dump file; and, for a health readout, the tape's live health figures.
//
// The capture's worker publishes both once per read; any thread may read
// them at any time. Whoever starts a capture resets them before its worker
// starts, so a reader never sees the previous capture's figures. After the
// capture ends they keep its final figures until the next reset.
#pragma once

#include "tape/tape_health.h"

#include <glib.h>

// Back to zero. Call before the worker starts. Any thread.
void capture_progress_reset(void);

// Publishes the running totals. The capture's worker thread, once per read.
void capture_progress_publish(guint64 ticks, guint64 bytes);

// The last published totals; either pointer may be null. Any thread; never
// blocks.
void capture_progress_read(guint64 *ticks, guint64 *bytes);

// The samples (pulses) taken so far, for a pulse rate; a preview has them
// too, though it writes no bytes. Published and read as the totals above.
void capture_progress_publish_pulses(guint64 pulses);
guint64 capture_progress_pulses(void);

// The tape time the files listed take (sample_pass_read_ticks), published
// by the worker once its capture has ended. Read as the totals above.
void capture_progress_publish_read(guint64 ticks);
guint64 capture_progress_read_ticks(void);

// The live tape health figures (tape_health_live), published by the worker
// whenever they may have changed; pulses 0 until a pilot has been seen.
// Reset with the totals; read as they are. Any thread; a short lock.
void capture_progress_publish_health(const tape_health_figures *figures);
void capture_progress_health(tape_health_figures *figures);
