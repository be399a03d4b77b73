// Freeload: pilot 0x40 (128 bytes; 64 on some publishers' clones), sync 0x5A,
// load and end address, data, XOR. No name; one file per pilot.
#pragma once

#include "tape/pilot_format.h"
#include "translate.h"

inline constexpr unsigned char freeload_threshold_units = 0x2C;

inline constexpr pilot_format freeload_format{
    .word = "freeload",
    .text = N_("Freeload"),
    .zero_units = 0x24,
    .one_units = 0x42, // one description says 0x41
    .zero_pulse = pilot_zero_window(0x24, freeload_threshold_units),
    .one_pulse = pilot_one_window(0x42, freeload_threshold_units),
    .lsb_first = false,
    .pilot_byte = 0x40,
    .pilot_bytes_min = 32,
    .pilot_bytes_written = 128,
    .sync_first = 0x5A,
    .sync_length = 1,
    .identified_blocks = false,
    .header_length = 4,
    .load_at = 0,
    .end_at = 2,
    .name_at = 4,
    .name_length = 0,
    .end_field = pilot_end_address,
};
