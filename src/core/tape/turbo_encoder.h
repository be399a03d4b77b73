// Encoder for the turbo formats (turbo_format.h): bytes and blocks in, bits
// out, one pulse per bit, laid out by the format's row.
//
// A byte is eight pulses, most significant bit first. A block is a lead-in,
// the sync train, an identifier byte and the payload. A header's payload is
// start address, end address + 1, a spare byte, the name, spaces. A data block is the
// program's bytes and their XOR.
//
// The encoder writes bits, not lengths: whoever receives them chooses the
// pulse lengths. One encoder per stream; not thread-safe.
#pragma once

#include "tape/turbo_format.h"

#include <array>
#include <cstddef>
#include <vector>

// The payload bytes of a header after its identifier. Any thread.
std::vector<unsigned char> turbo_header_payload(const turbo_format &format, unsigned start, unsigned end,
                                                const std::array<unsigned char, 16> &name);

class turbo_encoder {
public:
    explicit turbo_encoder(const turbo_format &format) : format_(format) {}
    virtual ~turbo_encoder() = default;

    // Where every bit's pulse goes (0 or 1).
    virtual void pulse(unsigned bit) = 0;

    void write_byte(unsigned char value);

    // lead_in_bytes lead-in bytes, then the sync train.
    void lead_in_and_sync(unsigned lead_in_bytes);

    // A header block: lead-in and sync, identifier (a header identifier for a
    // header the name decoders accept), the header payload.
    void header(unsigned lead_in_bytes, unsigned char id, unsigned start, unsigned end,
                const std::array<unsigned char, 16> &name);

    // A data block: lead-in and sync, the data identifier, the data, their XOR.
    void data(unsigned lead_in_bytes, const unsigned char *bytes, size_t length);

private:
    turbo_format format_;
};
