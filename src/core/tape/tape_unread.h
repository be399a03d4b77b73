// Unread stretches: where a tape holds pulses that could carry data but no
// file of any format was read.
//
// A tape whose main part is in a format the program does not read would
// otherwise look done: only the files read are listed. The detector is fed
// every pulse of the tape in order and every file record of the tape index
// (tape_index.h), whose span (first_tick..end_tick, tape_file_record.h) says
// which stretch of tape the file takes; it reports each stretch of more than
// tape_unread_min_ticks of pulses that lies outside every span. It knows no
// format: a format whose reader fills the spans of its records counts as
// read the moment the index lists its files. A file cut short takes the
// tape to its end (the stream ended inside it).
//
// What counts as pulses: the tape is cut into windows of
// tape_unread_window_ticks; a window is dense when more than
// tape_unread_min_pulses_per_second of its pulses per second are of a
// length a loader could use (from tape_unread_shortest_ticks to below
// tape_unread_longest_ticks) and at most a quarter are not. Silence, a lone
// pulse or a leader's sparse noise never makes a window dense. Dense windows
// in a row are a run, from its first usable pulse to the end of its last;
// runs less than tape_unread_gap_windows apart belong to one stretch (a
// loader's pauses between its blocks). What of a stretch's runs lies in no
// file's span is unread: a piece, from the first pulse to the last of
// neighbouring runs with no file between them, is reported when it is
// longer than tape_unread_min_ticks. So a pilot counts as read with the
// file it leads to, and pauses and the trailers of files read do not count.
//
// When: a piece is reported once no file can claim it any more: every file
// beginning before its end has been listed (a later file has been listed, or
// the index has read past a stretch that has ended), and no file listed
// before it is still being read. Pieces come in tape order, each before the
// record of the file that follows it on tape, except where a file still
// being read holds them back; tape_unread_finish reports the rest.
//
// Constant work per pulse; memory grows by one span per file. Not
// thread-safe: one detector per tape, on the thread that feeds the index.
#pragma once

#include "tape/tape_index.h"

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr uint64_t tape_unread_min_ticks = 2000000;      // a second of tape
inline constexpr uint64_t tape_unread_window_ticks = 200000;    // a tenth of a second
inline constexpr uint32_t tape_unread_min_pulses_per_second = 1000;
inline constexpr unsigned tape_unread_shortest_ticks = 160;     // 80 us: half a turbo bit as sampled on both edges
inline constexpr unsigned tape_unread_longest_ticks = 2400;     // 1.2 ms: above every loader's longest pulse
inline constexpr unsigned tape_unread_gap_windows = 10;     // a second: pauses between one loader's blocks

// A stretch of tape in no file read.
struct tape_unread_stretch {
    uint64_t tick;   // where its first pulse begins, ticks since the tape began
    uint64_t ticks;  // its length
};

// Receives each stretch, on the feeding thread; valid during the call only.
using tape_unread_sink = void (*)(void *context, const tape_unread_stretch *stretch);

struct tape_unread_span {
    uint64_t first;
    uint64_t end;
};

struct tape_unread {
    tape_unread_sink sink;
    void *context;
    uint64_t tick;            // where the next pulse fed begins
    // The window being counted.
    uint64_t window;          // its number (tick / tape_unread_window_ticks)
    uint64_t window_closes;   // where the next window begins
    // (Apart, so that no compiler takes the two ends for a pair of lanes
    // and the loop over every pulse moves them in and out of one register.)
    uint64_t window_first;    // where its first usable pulse began
    uint32_t usable;          // usable pulses that began in it
    uint32_t unusable;        // and the others
    uint64_t window_end;      // where its last usable pulse ended
    // The runs of the stretch still growing, not yet settled; whether its
    // last run is still growing, and the windows since its last dense one.
    std::vector<tape_unread_span> growing;
    bool run_open;
    unsigned quiet_windows;
    // The runs of stretches that have ended, not yet settled, each stretch's
    // runs in a list of their own.
    std::vector<std::vector<tape_unread_span>> ended;
    uint64_t ended_listed;    // the index has listed every file beginning before here
    // Every file's span, by the record's sequence number - 1, and the
    // numbers - 1 of those still being read (a few: one per reader at most).
    std::vector<tape_unread_span> files;
    std::vector<size_t> open;
    uint64_t last_first;      // first_tick of the latest file listed
};

// Starts a detector for a new tape; sink may be nullptr. Any thread.
void tape_unread_init(tape_unread *unread, tape_unread_sink sink, void *context);

// Feeds count pulses (lengths in ticks), the tape's next ones.
void tape_unread_feed(tape_unread *unread, const unsigned short *samples, std::size_t count);

// Takes a record of the tape index (every one, in the order the index
// reports them); may report pieces it settles, before returning.
void tape_unread_file(tape_unread *unread, const tape_file_event *record);

// The index has read the tape up to tick: every file whose header lies
// before it has been listed. May report pieces it settles.
void tape_unread_listed_to(tape_unread *unread, uint64_t tick);

// The tape has ended and the index has given its last records: reports
// every piece left.
void tape_unread_finish(tape_unread *unread);

// The tape time the files read take, each stretch counted once, up to the
// last pulse fed.
uint64_t tape_unread_read_ticks(const tape_unread *unread);
