// The turbo formats with names: one row of facts per format. Turbo Tape 250
// and the Turrican loader are the two rows; their name decoders (tt250.cpp,
// turrican.cpp over turbo.h), the tape health measure, the synthesizer and
// the tests take every fact from here, and their rows of the pilot-byte
// family (formats/tt250.h, formats/turrican.h), which the block reader, the
// encoder (loader_encoder.h), the index, the rescue and the clean image
// read, are made from them.
//
// The family's shape: one pulse per bit, most significant bit first, no byte
// markers; a lead-in of one repeated byte gives the byte alignment, a sync
// train counts down to 0x01, an identifier byte says what the block is, the
// payload follows. A header's payload is start address, end address + 1 (low
// byte first), a spare byte, the name field, padding; a data block is the
// program's bytes and their XOR.
//
// Adding a format of this family: add a `turbo_format` row below (a loader
// that differs in a way the struct cannot say yet gets a new member with a
// default that keeps the rows above as they are), then let the readers take
// the row. Members with a default are the family's usual values; a row names
// only what is its own. Designated initializers keep the rows readable.
#pragma once

#include "tape/pulse_window.h"

#include <cstddef>
#include <cstdint>

struct turbo_format {
    // ---- Pulses ----
    pulse_window one_pulse;  // tested first: a pulse in both windows is a 1
    pulse_window zero_pulse;
    // As the saving program writes them, in cycles of the machine's clock
    // (TAP units of 8 cycles).
    unsigned zero_cycles;
    unsigned one_cycles;

    // ---- Lead-in (the pilot) ----
    unsigned char lead_in_byte = 0x02;  // repeated before the sync train
    // Lead-in bytes the name decoders and the file lister need before a
    // header's sync train, the byte that aligned the reader included.
    uint32_t lead_in_bytes_min = 959;

    // ---- Sync ----
    unsigned char sync_first;  // the sync train counts down from this value to 0x01

    // ---- Blocks and header ----
    unsigned char program_header_id = 1;    // identifier of a program's header
    unsigned char data_file_header_id = 2;  // identifier of a data file's header
    unsigned char data_id = 0;              // identifier of a data block
    size_t header_payload_bytes = 192;      // after the identifier
    unsigned header_start_byte = 0;         // start address, low byte first
    unsigned header_end_byte = 2;           // end address + 1, low byte first
    unsigned header_spare_byte = 4;         // written 0, never examined
    unsigned header_name_byte = 5;
    unsigned name_length = 16;              // name bytes the decoders take (at most 16); spaces follow
};

// Turbo Tape 250: a 1 is pulse byte 67..95 (centre 81), a 0 39..66 (centre
// 53); the sync train 0x09..0x01, so the identifier is byte 10 after the
// lead-in and the name bytes 16..31.
inline constexpr turbo_format tt250_format{
    .one_pulse = {67, 29},   // 67..95; tested first, so 67 is a 1
    .zero_pulse = {39, 29},  // 39..67, in effect 39..66
    .zero_cycles = 0x1A * 8,
    .one_cycles = 0x28 * 8,
    .sync_first = 0x09,
};

// The Turrican loader: a 1 is pulse byte 68..94 (centre 81), a 0 42..67
// (centre 55); the sync train 0x0C..0x01, so the identifier is byte 13 and
// the name bytes 19..34.
inline constexpr turbo_format turrican_format{
    .one_pulse = {68, 27},   // 68..94; tested first, so 68 is a 1
    .zero_pulse = {42, 27},  // 42..68, in effect 42..67
    .zero_cycles = 0x1B * 8,
    .one_cycles = 0x27 * 8,
    .sync_first = 0x0C,
};

// The 0 window in effect: it ends where the 1 window, tested first, begins.
constexpr pulse_window turbo_zero_window(const turbo_format &format)
{
    const unsigned end = format.zero_pulse.first + format.zero_pulse.width;
    const unsigned last = end <= format.one_pulse.first ? end - 1 : format.one_pulse.first - 1u;
    return pulse_window{format.zero_pulse.first, static_cast<unsigned char>(last - format.zero_pulse.first + 1)};
}

// Whether an identifier opens a header the name decoders take.
constexpr bool turbo_is_header_id(const turbo_format &format, unsigned char id)
{
    return id == format.program_header_id || id == format.data_file_header_id;
}

// Pulses from a header's first sync byte to the pulse after its name: the
// sync train, the identifier, the bytes before the name, the name; one pulse
// per bit.
constexpr uint32_t turbo_pulses_to_name_end(const turbo_format &format)
{
    return (format.sync_first + 1u + format.header_name_byte + format.name_length) * 8u;
}
