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

// The pulse byte the decoders see for a sample: the low 8 bits of sample / 8.
constexpr unsigned char pulse_of_sample(unsigned short sample)
{
    return static_cast<unsigned char>(sample / 8);
}

// 1 when pulse lies in first .. first + width - 1. Any thread; never blocks.
constexpr int pulse_in_window(unsigned char pulse, pulse_window window)
{
    return static_cast<unsigned char>(pulse - window.first) <= window.width - 1;
}
