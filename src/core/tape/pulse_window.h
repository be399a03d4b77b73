// Pulse units and pulse-length windows: the facts every format's reader,
// encoder and measure share about how a sample becomes a pulse byte.
//
// The device counts 2,000,000 ticks per second (tape_time.h); the name
// decoders see a sample of s ticks as the pulse byte s / 8, its low 8 bits.
// A window is a first pulse byte and a width. The test is one unsigned 8-bit
// subtraction, so it costs the same for every window and a window never
// reaches past 255 by accident. A sample of 2048 ticks or more would alias
// onto a small pulse byte: the block readers, the plot's columns and the
// index take such a sample as in no window.
#pragma once

struct pulse_window {
    unsigned char first;
    unsigned char width;
};

// Device ticks per unit of the pulse byte.
inline constexpr unsigned tape_ticks_per_pulse_unit = 8;
// The first sample whose pulse byte wraps past 255.
inline constexpr unsigned tape_first_aliasing_sample = 256 * tape_ticks_per_pulse_unit;

// The pulse byte the decoders see for a sample: the low 8 bits of sample / 8.
constexpr unsigned char pulse_of_sample(unsigned short sample)
{
    return static_cast<unsigned char>(sample / tape_ticks_per_pulse_unit);
}

// 1 when pulse lies in first .. first + width - 1. Any thread; never blocks.
constexpr int pulse_in_window(unsigned char pulse, pulse_window window)
{
    return static_cast<unsigned char>(pulse - window.first) <= window.width - 1;
}

// 1 when the sample's pulse byte lies in the window and the sample is short
// enough not to alias.
constexpr int sample_in_window(unsigned short sample, pulse_window window)
{
    return sample < tape_first_aliasing_sample && pulse_in_window(pulse_of_sample(sample), window);
}

// The window's centre pulse byte.
constexpr unsigned pulse_window_centre(pulse_window window)
{
    return window.first + window.width / 2u;
}

// The first and last sample (in ticks) whose pulse byte lies in the window.
constexpr unsigned pulse_window_low_ticks(pulse_window window)
{
    return window.first * tape_ticks_per_pulse_unit;
}

constexpr unsigned pulse_window_high_ticks(pulse_window window)
{
    return (window.first + window.width) * tape_ticks_per_pulse_unit - 1;
}

// A pulse in the middle of the window, in ticks (halfway rounded up).
constexpr unsigned pulse_window_centre_ticks(pulse_window window)
{
    return (pulse_window_low_ticks(window) + pulse_window_high_ticks(window) + 1) / 2;
}
