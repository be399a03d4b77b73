// Microload: least significant bit first; pilot 0xA0 (about 255 bytes), sync
// 0x0A down to 0x01, load address, the data size as 0x10000 - size, data,
// XOR. No name.
#pragma once

#include "tape/pilot_format.h"
#include "translate.h"

inline constexpr unsigned char microload_threshold_units = 0x29;

inline constexpr pilot_format microload_format{
    .word = "microload",
    .text = N_("Microload"),
    .zero_units = 0x1C,
    .one_units = 0x36,
    .zero_pulse = pilot_zero_window(0x1C, microload_threshold_units),
    .one_pulse = pilot_one_window(0x36, microload_threshold_units),
    .lsb_first = true,
    .pilot_byte = 0xA0,
    .pilot_bytes_min = 64,
    .pilot_bytes_written = 255,
    .sync_first = 0x0A,
    .sync_length = 10,
    .identified_blocks = false,
    .header_length = 4,
    .load_at = 0,
    .end_at = 2,
    .name_at = 4,
    .name_length = 0,
    .end_field = pilot_size_complement,
};
