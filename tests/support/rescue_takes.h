// Takes of one synthesized tape side for rescue tests: a ROM-loader file
// ("ROM FILE"), a Turbo Tape 250 file ("TURBO FILE") and a last ROM-loader
// file ("STUCK"), each take damaged in its own places, so that every take
// alone reads all three bad and two takes with damage apart give the first
// two back together. STUCK's byte 17 is broken in every take.
#pragma once

#include "tape_synth.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The programs of the three files.
extern const std::vector<unsigned char> rescue_rom_program;
extern const std::vector<unsigned char> rescue_turbo_program;

// Where a take's damage lands: a ROM-loader data byte broken in both copies,
// a Turbo Tape 250 data byte with a pulse in no window.
struct rescue_take_damage {
    size_t rom_byte;
    size_t turbo_byte;
};

// Damage of a ROM-loader block: byte broken in its first copy (a pair of
// pulses out of order) and in its repeated copy (a flipped bit).
tape_rom_block_damage rescue_both_copies_broken(size_t byte);

// One take of the side: pulses moved by their own jitter (seed), the take
// starting `skipped` samples into the tape.
std::vector<unsigned short> rescue_take(const rescue_take_damage &damage, uint32_t seed, size_t skipped);
