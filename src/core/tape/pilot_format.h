// The facts of a loader of the pilot-byte family, one row per format.
//
// Every format of the family sends one pulse per bit, a short pulse for a 0
// and a long one for a 1, and a file as: a pilot of one byte repeated, a sync
// train counting down, a small header, the data, and the XOR of the data.
// The formats differ only in the numbers below; each keeps its row in a small
// file of its own (tape/formats/), and one reader (pilot_files.h) and one
// encoder (loader_encoder.h) serve them all.
//
// Pulse lengths: nominal pulses in TAP units of 8 machine cycles (what a
// clean image writes); the reader's classes in pulse bytes, a sample's ticks
// / 8 (tape_time.h: 2 MHz). A unit is 8 cycles of about 1 MHz, so a pulse
// byte is about half a unit: formats published with a threshold get their
// classes from pilot_zero_window and pilot_one_window at the PAL C64 clock
// (an NTSC tape's pulses are 4 % shorter, well inside the classes).
#pragma once

#include "tape/pulse_window.h"

#include <cstdint>

// How the header gives the end of the data.
enum pilot_end_field : uint8_t {
    pilot_end_address,     // the end address, exclusive (0 stands for $10000)
    pilot_end_wraps,       // the end address; the length is end - start modulo 65536
    pilot_size_complement, // the data size as 0x10000 - size
};

struct pilot_format {
    const char *word;             // the loader word in the command line's lines
    const char *text;             // the loader as the client shows it (English, to be translated)
    unsigned char zero_units;     // nominal 0 pulse
    unsigned char one_units;      // nominal 1 pulse
    pulse_window zero_pulse;      // the 0 class
    pulse_window one_pulse;       // the 1 class, tested first
    bool lsb_first;               // bit order inside a byte
    unsigned char pilot_byte;
    uint16_t pilot_bytes_min;     // pilot bytes needed before a header's sync train
    uint16_t pilot_bytes_written; // pilot bytes a clean image writes before each block
    unsigned char sync_first;     // the sync train counts down from here ...
    unsigned char sync_length;    // ... for this many bytes
    // Layout after the sync train.
    bool identified_blocks;       // an identifier byte follows: 1 or 2 opens a header block, 0 a data block
    uint8_t header_length;        // header bytes (a header block's payload)
    uint8_t load_at;              // where the load address stands in the header (low byte first)
    uint8_t end_at;               // where the end address or size stands
    uint8_t name_at;
    uint8_t name_length;          // 0: nameless, listed by its address range
    pilot_end_field end_field;
};

// The header bytes a file is listed after: up to its name and addresses.
constexpr unsigned pilot_listing_bytes(const pilot_format &format)
{
    unsigned last = format.end_at + 2u > format.load_at + 2u ? format.end_at + 2u : format.load_at + 2u;
    return format.name_at + format.name_length > last ? format.name_at + format.name_length : last;
}

// A pulse of units TAP units at the PAL C64 clock (985248 Hz), in ticks and
// in pulse bytes, rounded.
constexpr unsigned pilot_ticks_of_units(unsigned units)
{
    return (units * 8u * 2000000u + 985248u / 2) / 985248u;
}

constexpr unsigned pilot_pulse_byte_of_units(unsigned units)
{
    return (units * 2000000u + 985248u / 2) / 985248u;
}

// The 0 class of a loader that splits at threshold units: as far below the
// nominal 0 as the threshold lies above it.
constexpr pulse_window pilot_zero_window(unsigned zero_units, unsigned threshold_units)
{
    const unsigned first = pilot_pulse_byte_of_units(2 * zero_units - threshold_units);
    return {static_cast<unsigned char>(first),
            static_cast<unsigned char>(pilot_pulse_byte_of_units(threshold_units) - first)};
}

// The 1 class: from the threshold as far above the nominal 1 as the threshold
// lies below it, at most to pulse byte 255.
constexpr pulse_window pilot_one_window(unsigned one_units, unsigned threshold_units)
{
    const unsigned first = pilot_pulse_byte_of_units(threshold_units);
    const unsigned last = pilot_pulse_byte_of_units(2 * one_units - threshold_units);
    return {static_cast<unsigned char>(first), static_cast<unsigned char>((last > 255 ? 255 : last) - first + 1)};
}
