// Tapes for the tape health measure: a file synthesized with its measured
// pulses at the nominal length the machine writes, played fast or slow, with
// a scatter of pulse lengths chosen as a percentage, and the figures it was
// made with.
#pragma once

#include "tape/name_finder.h"

#include <vector>

inline constexpr double health_pal_c64_hz = 985248;
inline constexpr double health_ntsc_c64_hz = 1022727;

struct health_tape {
    std::vector<unsigned short> samples;
    double speed_percent;   // nominal / played mean length - 1
    double spread_percent;  // standard deviation / mean of the measured pulses
};

// A ROM-loader program (header and data, 300 bytes) whose short pulses are
// 0x30 x 8 cycles of clock_hz, played at `speed` of its pace (every pulse
// lasting 1/speed as long), each pulse moved by a uniform scatter whose
// standard deviation is jitter_percent of the short pulse.
health_tape health_rom_tape(double speed, double jitter_percent, double clock_hz = health_pal_c64_hz);

// The same for a Turbo Tape 250 file (zero pulses 0x1A x 8 PAL C64 cycles) or,
// with turrican, a Turrican loader file (0x1B x 8): header and data block,
// each after a lead-in.
health_tape health_turbo_tape(bool turrican, double speed, double jitter_percent);

// The same for a file of any other turbo loader, written as its saving
// program writes it (tape_loader_file), its 0 pulses the row's nominal length
// at the PAL C64 clock; its data bytes with few 0 bits in a row, or with
// zero_data all 0.
health_tape health_loader_tape(tape_loader loader, double speed, double jitter_percent, bool zero_data = false);
