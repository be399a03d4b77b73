// A long read of tape files, watched and stopped from another thread: the
// reading thread publishes which step of its job it is at and how far it has
// come in the file it reads, and between pieces looks whether it is asked to
// stop. A reader given a null control reads to the end unwatched.
//
// Any thread may read or set the members at any time; nothing blocks.
#pragma once

#include <atomic>
#include <cstdint>

struct tape_input;

struct tape_read_control {
    std::atomic<bool> stop_requested{false};  // set by the watcher: the reader ends at its next piece
    std::atomic<unsigned> step{0};            // the job's own numbering (which take, reading or writing)
    std::atomic<uint64_t> bytes_done{0};      // of the file being read
    std::atomic<uint64_t> bytes_total{0};     // its size; 0 while unknown (a stream has none)
};

// Starts a step: its file is not read yet. Reading thread.
void tape_read_control_begin_step(tape_read_control *control, unsigned step);

// Publishes how far input has come (control may be null), and returns
// whether the reader is to stop. Reading thread, after each piece.
bool tape_read_control_update(tape_read_control *control, const tape_input *input);

// The part of the file read, in percent (0 to 100), or -1 while the size is
// unknown. Any thread.
int tape_read_control_percent(const tape_read_control *control);
