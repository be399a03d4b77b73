// Novaload and Novaload Special: least significant bit first, one pulse per
// bit; a pilot of 0 pulses (not bytes), one 1 pulse as sync, the byte 0xAA.
// - Novaload: the name length n (not 0x55), n name bytes, load address -
//   256, end address, data size + 256, then the data in sub-blocks of at
//   most 256 bytes, each after a check byte, and a final check byte. The
//   check is an 8-bit sum running from the name length on: each check byte
//   equals the sum so far and is then added to it.
// - Special: 0x55, then pages: the page (load address high byte), 256 data
//   bytes, their sum with the page byte; a page 0 ends the chain. Each run of
//   consecutive pages is one program.
// After the data about 2000 0 pulses, the first often noise on purpose.
#pragma once

#include "tape/pilot_format.h"
#include "translate.h"

#include <cstdint>

struct novaload_format {
    const char *word, *text;                   // Novaload
    const char *special_word, *special_text;   // Novaload Special
    unsigned char zero_units, one_units;       // nominal pulses, TAP units
    pulse_window zero_pulse, one_pulse;        // the classes, pulse bytes
    uint16_t pilot_pulses_min;                 // 0 pulses needed before the sync pulse
    uint16_t pilot_pulses_written;
    uint16_t trailer_pulses_written;
    unsigned char marker;                      // after the sync pulse
    unsigned char special_marker;              // after the marker: Novaload Special
    unsigned char name_length_max;             // a longer name is noise, not a header
    uint16_t size_offset;                      // the size field is the data size + this
    uint16_t load_offset;                      // the load field is the load address - this
    uint16_t sub_block_bytes;                  // data bytes per check byte
    uint16_t page_bytes;                       // Special: data bytes per page
};

inline constexpr unsigned char novaload_threshold_units = 0x3E; // 0x3D in one table

inline constexpr novaload_format novaload_facts{
    .word = "novaload",
    .text = N_("Novaload"),
    .special_word = "novaload-special",
    .special_text = N_("Novaload Special"),
    .zero_units = 0x24,
    .one_units = 0x56,
    .zero_pulse = pilot_zero_window(0x24, novaload_threshold_units),
    .one_pulse = pilot_one_window(0x56, novaload_threshold_units),
    .pilot_pulses_min = 1024,
    .pilot_pulses_written = 1800,
    .trailer_pulses_written = 2000,
    .marker = 0xAA,
    .special_marker = 0x55,
    .name_length_max = 16,
    .size_offset = 256,
    .load_offset = 256,
    .sub_block_bytes = 256,
    .page_bytes = 256,
};
