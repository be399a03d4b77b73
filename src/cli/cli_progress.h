// A capture's progress on standard error, in the manner of dd status=progress
// and pv: on a terminal one line, rewritten a few times a second, with the
// capture's state, the tape time, the size of the stream so far, the pulses
// per second, the tape's health once a pilot has been measured ("speed
// -3.8 %  spread 1.9 %") and the last name found; otherwise one plain line per
// change of state. Main thread only.
#pragma once

#include "tape/tape_health.h"

#include <glib.h>

// Starts the display for one capture; `dumping`: the size of the file is
// shown. Progress shows as a rewritten line when standard error is a
// terminal.
void cli_progress_start(int dumping);

// The worker's status changed ("Press PLAY on tape...", "Dumping...").
void cli_progress_status(const char *text);

// Clears the rewritten line, so that a line written to standard output does
// not mix with it; the next update draws it again.
void cli_progress_clear(void);

// A name was found: it becomes the last name shown.
void cli_progress_name(const char *name);

// The capture has reached `tape_ticks` of tape time, `bytes` in the dump file
// and `pulses` samples; called every CLI_PROGRESS_INTERVAL_MS. Redraws the
// line on a terminal.
void cli_progress_update(guint64 tape_ticks, guint64 bytes, guint64 pulses);

#define CLI_PROGRESS_INTERVAL_MS 250u

// The live health figures to show from the next update on.
void cli_progress_health(const tape_health_figures *figures);

// Clears the rewritten line and prints the capture's totals as a plain line:
// the tape time, the size while dumping, the names found and the tape time
// the files read take ("2:37.0 of tape, 1 name found, 0:31.0 read").
void cli_progress_finish(unsigned names, guint64 read_ticks);
