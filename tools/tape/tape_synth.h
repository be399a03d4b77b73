// Tape synthesizer: the device's sample stream for made-up tapes.
//
// A sample is the time between two active edges of the tape signal in sample
// ticks (2 MHz); the name decoders see sample / 8 as a pulse byte. The
// synthesizer writes pulses at the centres of the formats' windows
// (tape/rom_format.h, tape/turbo_format.h), each moved by a fixed offset and
// a uniform random jitter that the caller chooses, so tests can push pulses
// towards the edges of the windows.
//
// The formats' layouts come from the core's encoders (tape/rom_encoder.h,
// tape/loader_encoder.h), the same ones that write clean TAP images; the
// synthesizer adds the pulse lengths, the jitter and the damage that tests
// need, and the demo tape's own pilot lengths.
//
// Not thread-safe per synthesizer; separate synthesizers are independent.
#pragma once

#include "tape/formats/tt250.h"
#include "tape/formats/turrican.h"
#include "tape/loader_encoder.h"
#include "tape/rom_encoder.h"
#include "tape/name_finder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

struct tape_synth {
    std::vector<unsigned short> samples; // the stream written so far
    int offset_ticks;                    // added to every pulse (may be negative)
    int jitter_ticks;                    // each pulse moves by a uniform value in -jitter..+jitter
    uint32_t random_state;               // deterministic generator for the jitter
};

// Starts an empty stream with the given offset, jitter and seed.
void tape_synth_init(tape_synth *synth, int offset_ticks = 0, int jitter_ticks = 0, uint32_t seed = 1);

// Appends one pulse of about ticks, moved by the offset and the jitter and
// kept within 1..65535.
void tape_synth_pulse(tape_synth *synth, unsigned ticks);

// Appends one sample exactly as given (no offset, no jitter).
void tape_synth_sample(tape_synth *synth, unsigned short sample);

// Appends a silence between blocks: one sample of ticks, saturated at 65535
// (the longest interval a sample can hold).
void tape_synth_gap(tape_synth *synth, unsigned ticks);

// A 16-byte name field: text (bytes taken as they are, at most 16) padded
// with pad (0x20 space, 0xA0 shifted space).
std::array<unsigned char, 16> tape_name_field(const char *text, unsigned char pad = 0x20);

// ---- ROM loader -------------------------------------------------------------

// Pulse lengths in ticks: the centres of the windows.
constexpr unsigned tape_rom_short_ticks = pulse_window_centre_ticks(rom_short_pulse);
constexpr unsigned tape_rom_medium_ticks = pulse_window_centre_ticks(rom_medium_pulse);
constexpr unsigned tape_rom_long_ticks = pulse_window_centre_ticks(rom_long_pulse);

// Pilot lengths in short pulses. The header's pilot and the pilot between
// copies are the machine's; the data pilot and the trailer are the ones the
// synthesized tapes were made with (the machine writes rom_data_pilot and
// rom_trailer), kept so that their timings stay as they are.
constexpr unsigned tape_rom_header_pilot = rom_header_pilot;
constexpr unsigned tape_rom_data_pilot = 6656;
constexpr unsigned tape_rom_repeat_pilot = rom_repeat_pilot;
constexpr unsigned tape_rom_trailer = 78;

constexpr unsigned char tape_rom_first_copy = rom_first_countdown;
constexpr unsigned char tape_rom_repeated_copy = rom_repeated_countdown;

// Damage put into a byte on purpose, as a worn tape does it.
enum tape_rom_fault {
    tape_rom_intact,
    tape_rom_broken_pair,   // the first bit's pair becomes (short, short)
    tape_rom_flipped_bit,   // the first bit's pulses swap: a valid pair, a wrong parity
    tape_rom_lost_pulse,    // the first pulse of the third bit is missing
    tape_rom_broken_marker, // the marker's long pulse is written medium
};

struct tape_rom_byte_damage {
    size_t byte;            // payload index; the checksum is the byte at index length
    tape_rom_fault fault;
};

// Damage to one copy of a block: faults in chosen bytes, the copy cut after
// `bytes` payload and checksum bytes (no end marker then), or left out.
struct tape_rom_copy_damage {
    std::vector<tape_rom_byte_damage> faults;
    size_t bytes = SIZE_MAX;
    bool missing = false;
};

struct tape_rom_block_damage {
    tape_rom_copy_damage first, repeated;
};

// Appends pulses short pulses.
void tape_rom_pilot(tape_synth *synth, unsigned pulses);

// Appends one byte: marker, eight data bits, check bit.
void tape_rom_byte(tape_synth *synth, unsigned char byte, tape_rom_fault fault = tape_rom_intact);

// Appends the end-of-block marker (long, short).
void tape_rom_end_marker(tape_synth *synth);

// Appends one copy of a block: pilot, the nine countdown bytes from
// countdown_first down (0x89 or 0x09), the payload, its XOR checksum and the
// end marker; damage as asked.
void tape_rom_copy(tape_synth *synth, unsigned pilot, unsigned char countdown_first,
                   const unsigned char *payload, size_t length, const tape_rom_copy_damage &damage = {});

// Appends a whole block as the machine writes it: the first copy after pilot
// short pulses, the repeated copy after a short pilot, the trailer.
void tape_rom_block(tape_synth *synth, unsigned pilot, const unsigned char *payload, size_t length,
                    const tape_rom_block_damage &damage = {});

// The 192-byte payload of a header: type, start and end address (low byte
// first), the name field, spaces.
std::vector<unsigned char> tape_rom_header_payload(unsigned char type, unsigned start, unsigned end,
                                                   const std::array<unsigned char, 16> &name);

// Appends a header block (type 1 or 3 for a program) with both copies.
void tape_rom_header(tape_synth *synth, unsigned pilot, unsigned char type, unsigned start,
                     unsigned end, const std::array<unsigned char, 16> &name);

// Appends a program file as the machine saves it: the header block (type 1,
// loading at start) and, after a silence, the data block; each block damaged
// as asked. The header's first countdown byte begins tape_rom_header_pilot
// samples after the call's first sample.
void tape_rom_program(tape_synth *synth, const std::array<unsigned char, 16> &name, unsigned start,
                      const unsigned char *data, size_t length, const tape_rom_block_damage &header_damage = {},
                      const tape_rom_block_damage &data_damage = {});

// ---- Turbo Tape 250 and the Turrican loader ---------------------------------

struct tape_turbo_format {
    unsigned zero_ticks;     // centre of the 0 window in effect
    unsigned one_ticks;      // centre of the 1 window
    const pilot_format &row; // the format's row: windows, sync train, layout
};

extern const tape_turbo_format tape_tt250;
extern const tape_turbo_format tape_turrican;

constexpr unsigned tape_turbo_lead_in = 1280;    // lead-in bytes before a block's sync train
constexpr unsigned char tape_turbo_header_id = tt250_format.program_header_id;

// Appends one byte, most significant bit first.
void tape_turbo_byte(tape_synth *synth, const tape_turbo_format &format, unsigned char byte);

// Appends bytes lead-in bytes, then the sync train.
void tape_turbo_lead_in_and_sync(tape_synth *synth, const tape_turbo_format &format, unsigned bytes);

// Appends a header: lead-in of lead_in bytes, sync, identifier (a header
// identifier for a header the decoders accept), the header payload
// (pilot_header, loader_encoder.h).
void tape_turbo_header(tape_synth *synth, const tape_turbo_format &format, unsigned lead_in,
                       unsigned char id, unsigned start, unsigned end,
                       const std::array<unsigned char, 16> &name);

// Appends a data block: lead-in, sync, the data identifier, the data, XOR checksum.
void tape_turbo_data(tape_synth *synth, const tape_turbo_format &format, unsigned lead_in,
                     const unsigned char *data, size_t length);

// ---- The other turbo loaders (tape/loader_table.h) --------------------------

// Appends a file of a turbo loader as its saving program writes it (the
// encoder of tape/loader_encoder.h with its row's pilot; each pulse the row's
// nominal length, moved by the offset and the jitter): the name field (as
// far as the format keeps a name; Novaload's without its trailing spaces),
// the data loading at start. Novaload Special: one chain of one run from
// start's page (start a multiple of 256, length a multiple of 256).
void tape_loader_file(tape_synth *synth, tape_loader loader, const std::array<unsigned char, 16> &name,
                      unsigned start, const unsigned char *data, size_t length);

// A turbo loader's pilot (pilot bytes; Novaload's in 0 pulses) and
// Novaload's trailer (0 pulses; none for the others).
struct tape_loader_lengths {
    unsigned pilot;
    unsigned trailer;
};

// As tape_loader_file, with these lengths instead of the saving program's.
void tape_loader_file(tape_synth *synth, tape_loader loader, const std::array<unsigned char, 16> &name,
                      unsigned start, const unsigned char *data, size_t length, const tape_loader_lengths &lengths);
