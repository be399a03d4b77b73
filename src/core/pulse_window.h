// Pulse-length windows of the name decoders.
//
// A window is a first pulse byte and a width. The test is one unsigned 8-bit
// subtraction, so it costs the same for every window and a window never
// reaches past 255 by accident.
#pragma once

struct pulse_window {
    unsigned char first;
    unsigned char width;
};

// 1 when pulse lies in first .. first + width - 1. Any thread; never blocks.
constexpr int pulse_in_window(unsigned char pulse, pulse_window window)
{
    return static_cast<unsigned char>(pulse - window.first) <= window.width - 1;
}
