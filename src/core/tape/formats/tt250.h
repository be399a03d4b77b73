// Turbo Tape 250 as a row of the pilot-byte family (pilot_format.h), taken
// from its row of turbo_format.h: a header block of 192 bytes with the name
// at 5, then a data block.
#pragma once

#include "tape/pilot_format.h"
#include "tape/turbo_format.h"
#include "translate.h"

inline constexpr pilot_format tt250_pilot_format{
    .word = "tt250",
    .text = N_("Turbo Tape 250"),
    .zero_units = tt250_format.zero_cycles / 8,
    .one_units = tt250_format.one_cycles / 8,
    .zero_pulse = tt250_format.zero_pulse,
    .one_pulse = tt250_format.one_pulse,
    .lsb_first = false,
    .pilot_byte = tt250_format.lead_in_byte,
    .pilot_bytes_min = tt250_format.lead_in_bytes_min,
    .pilot_bytes_written = 1280,
    .sync_first = tt250_format.sync_first,
    .sync_length = tt250_format.sync_first,
    .identified_blocks = true,
    .header_length = tt250_format.header_payload_bytes,
    .load_at = tt250_format.header_start_byte,
    .end_at = tt250_format.header_end_byte,
    .name_at = tt250_format.header_name_byte,
    .name_length = tt250_format.name_length,
    .end_field = pilot_end_wraps,
};
