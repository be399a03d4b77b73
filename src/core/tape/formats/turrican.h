// The Turrican loader as a row of the pilot-byte family (pilot_format.h),
// taken from its row of turbo_format.h: Turbo Tape 250's layout with other
// windows and a sync train of 12 bytes. A header needs the lead-in the name
// decoder needs, so both list the same headers.
#pragma once

#include "tape/pilot_format.h"
#include "tape/turbo_format.h"
#include "translate.h"

inline constexpr pilot_format turrican_pilot_format{
    .word = "turrican",
    .text = N_("Turrican"),
    .zero_units = turrican_format.zero_cycles / 8,
    .one_units = turrican_format.one_cycles / 8,
    .zero_pulse = turrican_format.zero_pulse,
    .one_pulse = turrican_format.one_pulse,
    .lsb_first = false,
    .pilot_byte = turrican_format.lead_in_byte,
    .pilot_bytes_min = turrican_format.lead_in_bytes_min,
    .pilot_bytes_written = 1280,
    .sync_first = turrican_format.sync_first,
    .sync_length = turrican_format.sync_first,
    .identified_blocks = true,
    .header_length = turrican_format.header_payload_bytes,
    .load_at = turrican_format.header_start_byte,
    .end_at = turrican_format.header_end_byte,
    .name_at = turrican_format.header_name_byte,
    .name_length = turrican_format.name_length,
    .end_field = pilot_end_wraps,
};
