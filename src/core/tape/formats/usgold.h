// The US Gold loader: pilot 0x20 (usually 64 bytes), sync 0xFF, a 16-byte
// name, load and end address, data, XOR. Some releases carry a wrong check
// byte on purpose; their files read bad.
#pragma once

#include "tape/pilot_format.h"
#include "translate.h"

inline constexpr unsigned char usgold_threshold_units = 0x2C; // one description says 0x2D

inline constexpr pilot_format usgold_format{
    .word = "usgold",
    .text = N_("US Gold"),
    .zero_units = 0x24,       // 0x24-0x25 described
    .one_units = 0x40,        // 0x3F-0x42 described
    .zero_pulse = pilot_zero_window(0x24, usgold_threshold_units),
    .one_pulse = pilot_one_window(0x40, usgold_threshold_units),
    .lsb_first = false,
    .pilot_byte = 0x20,
    .pilot_bytes_min = 32,
    .pilot_bytes_written = 64,
    .sync_first = 0xFF,
    .sync_length = 1,
    .identified_blocks = false,
    .header_length = 20,
    .load_at = 16,
    .end_at = 18,
    .name_at = 0,
    .name_length = 16,
    .end_field = pilot_end_address,
};
