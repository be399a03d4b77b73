// Every loader the client reads, one entry each: its word in the command
// line's lines, its text in the client, and the facts its reader takes
// (pilot_format.h rows, formats/novaload.h). The readers, the index, the
// rescue and the clean image look a loader up here.
//
// Also what a rescue needs to check a file the takes read together: how long
// its blocks are and whether their check bytes hold.
//
// Any thread; nothing here keeps state.
#pragma once

#include "tape/name_finder.h"
#include "tape/pilot_format.h"

#include <cstddef>
#include <vector>

// "rom", "tt250", "turrican", "freeload", "hitload", "usgold", "microload",
// "novaload", "novaload-special".
const char *tape_loader_word(tape_loader loader);

// "ROM", "Turbo Tape 250", "Turrican", "Freeload", "Hitload", "US Gold",
// "Microload", "Novaload", "Novaload Special" (English; a front end shows
// them through its translation).
const char *tape_loader_english(tape_loader loader);

// Whether a name decoder (name_finder.h) finds the loader's names: the ROM
// loader, Turbo Tape 250 and Turrican do; the others' files are named only
// when their block readers list them.
bool tape_loader_has_name_decoder(tape_loader loader);

// The row of a loader of the pilot-byte family, else nullptr.
const pilot_format *tape_loader_pilot_format(tape_loader loader);

// A turbo loader's pulse classes (pulse bytes) and nominal pulses (TAP
// units); false for the ROM loader.
bool tape_loader_pulse_classes(tape_loader loader, pulse_window *zero, pulse_window *one, unsigned *zero_units,
                               unsigned *one_units);

// Bytes of a turbo loader's file loading from start to end (exclusive) as
// its reader reports them (tape_file_byte): header block and data block,
// check bytes included. header_first is the header's first byte (Novaload's
// name length). Returns false for the ROM loader.
bool tape_loader_block_lengths(tape_loader loader, unsigned header_first, unsigned start, unsigned end,
                               size_t *header_bytes, size_t *data_bytes);

// Whether a turbo loader's data block, as tape_loader_block_lengths counts
// it, holds: every check byte right (and for Novaload Special every page in
// its place). Then *program is the program, exactly end - start bytes.
bool tape_loader_program_of(tape_loader loader, const std::vector<unsigned char> &header,
                            const std::vector<unsigned char> &data, unsigned start, unsigned end,
                            std::vector<unsigned char> *program);
