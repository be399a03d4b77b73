// Encoders for the turbo loaders' files, from the same rows the readers take
// (pilot_format.h, formats/novaload.h): bytes, blocks and files in, bits out,
// one pulse per bit. They write the clean image's files and the tests'
// synthesized tapes (Turbo Tape 250 and Turrican included: their rows are
// pilot-byte rows too).
//
// The encoders write bits, not lengths: whoever receives them chooses the
// pulse lengths (a clean image the row's nominal units, a test whatever
// damage it wants). One encoder per stream; not thread-safe.
#pragma once

#include "tape/formats/novaload.h"
#include "tape/pilot_format.h"

#include <array>
#include <cstddef>
#include <vector>

// A header of format for a file loading from start to end (exclusive): the
// load address, the end address or size as the row keeps it, the name (if
// the format has one) from name_at; the bytes before the name 0, after it
// spaces. Any thread.
std::vector<unsigned char> pilot_header(const pilot_format &format, unsigned start, unsigned end,
                                        const std::array<unsigned char, 16> &name);

class pilot_encoder {
public:
    explicit pilot_encoder(const pilot_format &format) : format_(format) {}
    virtual ~pilot_encoder() = default;

    // Where every bit's pulse goes (0 or 1).
    virtual void pulse(unsigned bit) = 0;

    // Eight pulses in the row's bit order.
    void write_byte(unsigned char value);

    // pilot_bytes pilot bytes, then the sync train.
    void pilot_and_sync(unsigned pilot_bytes);

    // Pilot and sync, the identifier (formats with identified blocks: 1 or 2
    // for a header the readers list), the header's bytes.
    void header_block(unsigned pilot_bytes, unsigned char identifier, const std::vector<unsigned char> &header);

    // The data and their XOR: with identified blocks in a block of their own
    // (pilot and sync, identifier 0), else right after the header (no pilot).
    void data_block(unsigned pilot_bytes, const unsigned char *data, size_t length);

    // A file as given: header_block, then data_block, both after pilot_bytes.
    void file_of(unsigned pilot_bytes, unsigned char identifier, const std::vector<unsigned char> &header,
                 const unsigned char *data, size_t length);

    // A file as its saving program writes it, with pilot_header's header and
    // the row's pilot length (or pilot_bytes).
    void file(unsigned start, const std::array<unsigned char, 16> &name, const unsigned char *data, size_t length);
    void file(unsigned start, const std::array<unsigned char, 16> &name, const unsigned char *data, size_t length,
              unsigned pilot_bytes);

private:
    const pilot_format &format_;
};

// Novaload's header from the name length on: n = name.size() (at most 16),
// the name, load - 256, the end address, length + 256. Any thread.
std::vector<unsigned char> novaload_header(const std::vector<unsigned char> &name, unsigned start, size_t length);

// What follows the header on tape: a check byte before each sub-block of at
// most 256 data bytes and a final one, each the running sum from the header's
// first byte on. Any thread.
std::vector<unsigned char> novaload_data_stream(const std::vector<unsigned char> &header, const unsigned char *data,
                                                size_t length);

// A Novaload Special run: for each 256 bytes of data (length a multiple of
// 256), the page byte (first_page, then on), the bytes, their sum with the
// page byte. Any thread.
std::vector<unsigned char> novaload_special_stream(unsigned first_page, const unsigned char *data, size_t length);

class novaload_encoder {
public:
    virtual ~novaload_encoder() = default;

    // Where every bit's pulse goes (0 or 1).
    virtual void pulse(unsigned bit) = 0;

    // Eight pulses, least significant bit first.
    void write_byte(unsigned char value);
    void write_bytes(const std::vector<unsigned char> &bytes);

    // pulses 0 pulses, the 1 pulse of the sync, the marker 0xAA.
    void pilot_and_marker(unsigned pulses);

    // pulses 0 pulses after a file.
    void trailer(unsigned pulses);

    // A Novaload file with the row's pilot and trailer (or these lengths).
    void file(const std::vector<unsigned char> &name, unsigned start, const unsigned char *data, size_t length,
              unsigned pilot_pulses = novaload_facts.pilot_pulses_written,
              unsigned trailer_pulses = novaload_facts.trailer_pulses_written);

    // A Novaload Special chain with the row's pilot and trailer (or these
    // lengths): the runs in turn (each a first page and a multiple of 256
    // bytes), then page 0.
    struct run {
        unsigned first_page;
        std::vector<unsigned char> data;
    };
    void special(const std::vector<run> &runs, unsigned pilot_pulses = novaload_facts.pilot_pulses_written,
                 unsigned trailer_pulses = novaload_facts.trailer_pulses_written);
};
