// The tape clock beside the activity light (label_main_tape_clock): while a
// capture runs, the tape time it has covered ("m:ss") and, for a dump, the
// size written ("12:34 · 8.2 MB"), read from the capture progress a few
// times a second. Cleared when a capture starts, kept after it ends.
// Interface thread only.
#pragma once

// Clears the clock and starts updating it every 250 ms; dump: also show the
// dump file's size. Call once the capture's worker exists.
void callbacks_clock_start(int dump);

// Stops the updates after showing the capture's final figures.
void callbacks_clock_stop(void);
