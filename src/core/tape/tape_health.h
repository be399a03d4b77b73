// Tape health: how fast a tape plays and how far its pulses spread, measured
// while it plays on the pulses of known length that open every file.
//
// Measured pulses:
// - the ROM loader's pilot: a run of short pulses, from the 8th in a row on;
//   it counts once 256 more have come (unless a file whose 0 pulses look the
//   same is being read: tape_health_file_open), and then a single stray pulse
//   (a dropout) does not end it;
// - the pilot of every other turbo loader: its 0 pulses, measured by its
//   block reader and handed in once the reader has listed the file
//   (tape_health_add_pilot);
// - the lead-in of the two turbo loaders: bytes 0x02, sent most significant
//   bit first, one pulse per bit, so seven zero pulses and a one pulse each;
//   the zero pulses from the 3rd such byte in a row on, once 32 more have
//   come.
//   Turbo Tape 250 and the Turrican loader send the same lead-in with pulses
//   of slightly different lengths; the ratio of a lead-in's one pulses to its
//   zero pulses (1.54 and 1.44) tells them apart at any tape speed.
// A run whose mean lies more than 14 % from its format's nominal length is
// something else (Turbo Tape 250 data of 0xFF bytes is a run of pulses that
// the ROM loader would take for short ones, 17 % shorter) and is not
// measured.
//
// The figures, in percent:
// - speed: nominal length / measured mean length - 1. A tape that plays
//   slow has long pulses: -3.8 % when they are 4 % too long.
// - spread: standard deviation / mean of the measured pulses. A clean tape
//   on a good drive stays well under 2 %.
// - margin: how many standard deviations lie between the pulses and the
//   nearest edge of a window of the format's name decoder, over every pulse
//   class of the format (short, medium and long; zero and one) at the
//   measured speed. The pulses' scatter is taken as a time jitter, the same
//   number of ticks for every class. The gauge's colours rest on it (below).
//
// Nominal lengths: the pulse as the machine writes it, in cycles of the clock
// of the machine and video standard chosen in the sampling options (GENERIC
// counts as a C64): the ROM loader's short pulse 0x30 x 8 cycles (389.7 us
// on a PAL C64, 375.5 us on an NTSC one), Turbo Tape 250's zero 0x1A x 8,
// the Turrican loader's zero 0x1B x 8, every other loader's 0 pulse as its
// row has it (loader_table.h). With both edges active the samples are half
// waves and nothing is measured.
//
// Live figures cover the newest second or so of measured pulses (so they
// keep the last pilot's reading while the data after it plays); a file's
// figures cover its own pilot or lead-in, the one that ends where its header
// begins.
//
// Cost: a few compares and adds per sample, no allocation. Not thread-safe:
// one measure per capture, fed and read on one thread; the capture worker
// publishes its live figures for the interface (capture_progress.h).
#pragma once

#include "tape/name_finder.h"

#include <cstddef>
#include <cstdint>

// Gauge colours by margin: green when the nearest window edge lies at least
// 6 standard deviations away (fewer than one pulse in a billion crosses it),
// yellow from 4 (about one in 30000: long programs start to need the repeated
// copy), red below.
inline constexpr float tape_health_margin_green = 6.0f;
inline constexpr float tape_health_margin_yellow = 4.0f;

enum tape_health_colour : unsigned char {
    tape_health_green,
    tape_health_yellow,
    tape_health_red,
};

struct tape_health_figures {
    uint32_t pulses;       // pulses measured; 0: no pilot seen, nothing else is set
    tape_loader format;    // whose pulses (the newest ones for live figures)
    float speed_percent;
    float spread_percent;
    float margin;          // standard deviations to the nearest window edge (at most 99)
};

// The colour of the spread gauge for figures that have pulses. Any thread.
tape_health_colour tape_health_colour_of(const tape_health_figures *figures);

// A figure as a readout shows it: rounded to one decimal, and 0 rather than
// -0 (so that -0.04 reads "0.0"). Any thread.
double tape_health_shown_percent(float percent);

// Count, sum and sum of squares of pulse lengths in ticks.
struct tape_health_sums {
    uint64_t pulses;
    uint64_t ticks;
    uint64_t squares;
};

// A pilot or lead-in being followed.
struct tape_health_run {
    tape_health_sums sums;     // every measured pulse of the run
    tape_health_sums flushed;  // the part already handed to the live figures
    uint64_t start_tick;       // where its first pulse began
    uint8_t phase;             // tape_health.cpp: none, pending, measured, refused
    tape_loader format;
};

// A measured stretch for the live figures: 256 pilot pulses or 32 lead-in bytes, or a run's end.
struct tape_health_piece {
    tape_health_sums sums;
    tape_loader format;
};

// A finished pilot or lead-in, for the figures of the file it opens.
struct tape_health_pilot {
    tape_health_sums sums;
    uint64_t start_tick;
    uint64_t end_tick;
    tape_loader format;
};

inline constexpr unsigned tape_health_pieces = 32;
inline constexpr unsigned tape_health_pilots = 8;

struct tape_health {
    double nominal_ticks[tape_loader_count]; // measured pulse's nominal length by format (tape_loader)
    double clock_hz;           // machine cycles per second
    uint64_t tick;             // tape time fed so far

    tape_health_run rom;
    uint32_t shorts;           // short pulses in a row
    uint32_t rom_strays;       // non-short pulses in a row inside a measured pilot
    uint32_t rom_mimics;       // loaders (bit 1 << tape_loader) whose 0 pulses pass for the ROM pilot's
    uint32_t files_open;       // loaders with a file listed and not yet judged

    tape_health_run turbo;
    uint32_t zeros;            // zero pulses in a row
    uint32_t lead_in_bytes;    // whole lead-in bytes in a row (in a run: since it began)
    uint64_t byte_ticks;       // in a run: the sum of the zero pulses since the last one pulse
    uint64_t byte_squares;     // and their sum of squares
    uint64_t one_ticks;        // sum of the run's one pulses (one per byte)

    tape_health_piece pieces[tape_health_pieces];
    uint64_t pieces_added;
    tape_health_pilot pilots[tape_health_pilots];
    uint64_t pilots_added;
};

// Starts a measure for pulses that a machine with this clock (cycles per
// second) wrote; half_waves: the samples are half waves, nothing is
// measured. tap_format_for (tap_writer.h) gives both for a capture's
// sampling options. Any thread.
void tape_health_init(tape_health *health, double clock_hz, int half_waves);

// Feeds samples[0..count) in stream order. Constant work per sample.
void tape_health_feed(tape_health *health, const unsigned short *samples, std::size_t count);

// How many stretches the live figures have taken in: it grows whenever they
// may have changed.
inline uint64_t tape_health_news(const tape_health *health)
{
    return health->pieces_added;
}

// The live figures: the newest second or so of measured pulses (pulses 0
// before the first pilot). Work bounded by tape_health_pieces.
void tape_health_live(const tape_health *health, tape_health_figures *figures);

// A pilot that a loader's block reader measured itself (its 0 pulses,
// pilot_blocks.h), ending where the file's header begins at header_tick: it
// joins the live figures as their newest stretch, and is the file's pilot
// for tape_health_file. Ignored for the loaders whose pilots this measure
// follows itself (ROM, Turbo Tape 250, Turrican), when there are no pulses,
// the samples are half waves, or their mean lies too far from the loader's
// nominal 0 pulse. Constant work.
void tape_health_add_pilot(tape_health *health, tape_loader loader, uint64_t pulses, uint64_t ticks,
                           uint64_t squares, uint64_t header_tick);

// A file of loader has been listed (open true: its data are still to come)
// or judged (open false). While a file of a loader whose 0 pulses lie as
// near the ROM loader's short pulse as a pilot may (Hitload's, 8 % longer) is
// open, a run of such pulses is its data, not a pilot, and is not measured.
// Constant work.
void tape_health_file_open(tape_health *health, tape_loader loader, bool open);

// The figures of the file whose header, read by `loader`, begins at `tick`:
// of the pilot or lead-in that ended there (within a quarter of a second),
// measured against that loader's nominal length. pulses 0 when there is none.
void tape_health_file(const tape_health *health, tape_loader loader, uint64_t tick, tape_health_figures *figures);
