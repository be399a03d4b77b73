// Hitload: Freeload's layout with longer pulses.
#pragma once

#include "tape/formats/freeload.h"
#include "translate.h"

inline constexpr unsigned char hitload_threshold_units = 0x4E;

inline constexpr pilot_format hitload_format = [] {
    pilot_format format = freeload_format;
    format.word = "hitload";
    format.text = N_("Hitload");
    format.zero_units = 0x34;
    format.one_units = 0x66;
    format.zero_pulse = pilot_zero_window(0x34, hitload_threshold_units);
    format.one_pulse = pilot_one_window(0x66, hitload_threshold_units);
    return format;
}();
