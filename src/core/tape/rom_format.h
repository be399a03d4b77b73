// The computer's built-in tape format: every fact about it in one place. The
// name decoder (rom.cpp), the block reader (rom_blocks.cpp), the file lister
// (rom_files.cpp), the encoder (rom_encoder.h), the tape health measure, the
// plot's reference bands, the index, the synthesizer and the tests take them
// from here.
//
// On tape: a block copy is a pilot of short pulses, then bytes of 20 pulses
// each (a marker (long, medium), eight data bits least significant first as
// pairs, (short, medium) = 0 and (medium, short) = 1, an odd-parity bit as a
// pair) and the end mark (long, short). A copy opens with a countdown of nine
// bytes; the payload and its XOR checksum follow. A block is two copies.
#pragma once

#include "tape/pulse_window.h"

#include <cstddef>
#include <cstdint>

// ---- Pulses -----------------------------------------------------------------

// Windows over the pulse byte (pulse_window.h). 113 is both short and medium:
// each reader's order of tests decides; 152 is in no class.
inline constexpr pulse_window rom_short_pulse{75, 39};   // 75..113, centre 94
inline constexpr pulse_window rom_medium_pulse{113, 39}; // 113..151, centre 132
inline constexpr pulse_window rom_long_pulse{153, 39};   // 153..191, centre 172

// The pulses as the machine writes them, in cycles of its clock (TAP units of
// 8 cycles: 0x30, 0x42, 0x56).
inline constexpr unsigned rom_short_cycles = 0x30 * 8;
inline constexpr unsigned rom_medium_cycles = 0x42 * 8;
inline constexpr unsigned rom_long_cycles = 0x56 * 8;

// Pulses per byte: marker, eight data bits and the parity bit, two each.
inline constexpr size_t rom_byte_pulses = 20;
// One long, ten medium and nine short pulses make every byte, whatever its value.
inline constexpr unsigned rom_byte_long_pulses = 1;
inline constexpr unsigned rom_byte_medium_pulses = 10;
inline constexpr unsigned rom_byte_short_pulses = 9;

// ---- Pilots -----------------------------------------------------------------

// The name decoder opens a block only after more than this many short
// pulses in a row (the first copy's pilot is thousands long).
inline constexpr uint32_t rom_name_pilot_pulses = 5000;
// The block reader and the index take this many short pulses in a row for a
// pilot: inside a block at most two follow each other, and the pilot before
// a repeated copy is about 79.
inline constexpr uint32_t rom_block_pilot_pulses = 32;

// Pilot lengths in short pulses, as the machine writes them and as the real
// tapes carry them.
inline constexpr unsigned rom_header_pilot = 27136; // 0x6A00, before a header's first copy
inline constexpr unsigned rom_data_pilot = 5376;    // 0x1500, before a data block's first copy
inline constexpr unsigned rom_repeat_pilot = 79;    // before the repeated copy
inline constexpr unsigned rom_trailer = 79;         // after the repeated copy

// ---- Sync: the countdown ----------------------------------------------------

inline constexpr uint32_t rom_countdown_bytes = 9;
inline constexpr unsigned char rom_first_countdown = 0x89;    // first copy: 0x89..0x81
inline constexpr unsigned char rom_repeated_countdown = 0x09; // repeated copy: 0x09..0x01

// ---- Header -----------------------------------------------------------------

// A header's payload after the countdown: type, start address and end
// address + 1 (low byte first), the name field, spaces.
inline constexpr size_t rom_header_payload_bytes = 192;
inline constexpr unsigned rom_header_type_byte = 0;
inline constexpr unsigned rom_header_start_byte = 1;
inline constexpr unsigned rom_header_end_byte = 3;
inline constexpr unsigned rom_header_name_byte = 5;
inline constexpr unsigned rom_name_length = 16;

// Header types.
inline constexpr unsigned char rom_type_relocatable_program = 1;
inline constexpr unsigned char rom_type_data_file_block = 2;
inline constexpr unsigned char rom_type_program = 3;
inline constexpr unsigned char rom_type_data_file_header = 4;
inline constexpr unsigned char rom_type_end_of_tape = 5;
