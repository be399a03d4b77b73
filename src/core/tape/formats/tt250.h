// Turbo Tape 250 as a row of the pilot-byte family (pilot_format.h): the
// windows of its specified name decoder (tt250.h), a header block of 192
// bytes with the name at 5, then a data block.
#pragma once

#include "tape/pilot_format.h"
#include "tape/tt250.h"

inline constexpr pilot_format tt250_pilot_format{
    .word = "tt250",
    .text = "Turbo Tape 250",
    .zero_units = 0x1A,
    .one_units = 0x28,
    .zero_pulse = tt250_format.zero_pulse,
    .one_pulse = tt250_format.one_pulse,
    .lsb_first = false,
    .pilot_byte = tt250_format.lead_in_byte,
    .pilot_bytes_min = tt250_format.lead_in_bytes_min,
    .pilot_bytes_written = 1280,
    .sync_first = tt250_format.sync_bytes,
    .sync_length = tt250_format.sync_bytes,
    .identified_blocks = true,
    .header_length = 192,
    .load_at = 0,
    .end_at = 2,
    .name_at = 5,
    .name_length = 16,
    .end_field = pilot_end_wraps,
};
