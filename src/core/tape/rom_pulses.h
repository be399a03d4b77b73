// Pulse classes of the computer's built-in tape format, shared by the name
// decoder (rom.cpp) and the block reader (rom_blocks.cpp).
//
// Windows over the pulse byte (the low 8 bits of sample / 8, so one unit is 8
// sample ticks). 113 is both short and medium: each reader's order of tests
// decides; 152 is in no class.
#pragma once

#include "tape/pulse_window.h"

inline constexpr pulse_window rom_short_pulse{75, 39};   // 75..113, centre 94
inline constexpr pulse_window rom_medium_pulse{113, 39}; // 113..151, centre 132
inline constexpr pulse_window rom_long_pulse{153, 39};   // 153..191, centre 172

// The pulses as the machine writes them, in cycles of its clock (TAP units of
// 8 cycles: 0x30, 0x42, 0x56).
inline constexpr unsigned rom_short_cycles = 0x30 * 8;
inline constexpr unsigned rom_medium_cycles = 0x42 * 8;
inline constexpr unsigned rom_long_cycles = 0x56 * 8;
