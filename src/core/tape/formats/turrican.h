// The Turrican loader as a row of the pilot-byte family (pilot_format.h):
// Turbo Tape 250's layout with the windows of its own specified name decoder
// (turrican.h) and a sync train of 12 bytes. A header needs the lead-in the
// name decoder needs, so both list the same headers.
#pragma once

#include "tape/pilot_format.h"
#include "tape/turrican.h"

inline constexpr pilot_format turrican_pilot_format{
    .word = "turrican",
    .text = "Turrican",
    .zero_units = 0x1B,
    .one_units = 0x27,
    .zero_pulse = turrican_format.zero_pulse,
    .one_pulse = turrican_format.one_pulse,
    .lsb_first = false,
    .pilot_byte = turrican_format.lead_in_byte,
    .pilot_bytes_min = turrican_format.lead_in_bytes_min,
    .pilot_bytes_written = 1280,
    .sync_first = turrican_format.sync_bytes,
    .sync_length = turrican_format.sync_bytes,
    .identified_blocks = true,
    .header_length = 192,
    .load_at = 0,
    .end_at = 2,
    .name_at = 5,
    .name_length = 16,
    .end_field = pilot_end_wraps,
};
