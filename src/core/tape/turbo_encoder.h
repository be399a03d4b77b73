// Encoder for the two turbo formats (Turbo Tape 250 and the Turrican loader):
// bytes and blocks in, bits out, one pulse per bit.
//
// A byte is eight pulses, most significant bit first. A block is a lead-in of
// 0x02 bytes, a sync train counting down to 0x01, an identifier byte (1 or 2
// a header, 0 a data block) and the payload. A header's payload is 192 bytes:
// start address, end address + 1 (low byte first), one spare byte, the name
// field (the 16 name bytes, then spaces to the format's field size), spaces.
// A data block is the program's bytes and their XOR.
//
// The encoder writes bits, not lengths: whoever receives them chooses the
// pulse lengths. One encoder per stream; not thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

struct turbo_layout {
    unsigned char sync_first;   // the sync train counts down from here to 0x01
    unsigned header_name_field; // bytes of the header's name field
};

inline constexpr turbo_layout turbo_tt250_layout{0x09, 16};
inline constexpr turbo_layout turbo_turrican_layout{0x0C, 32};

inline constexpr unsigned char turbo_lead_in_byte = 0x02;
inline constexpr unsigned char turbo_header_id = 1;
inline constexpr unsigned char turbo_data_id = 0;
inline constexpr size_t turbo_header_payload_bytes = 192;

// The 192 payload bytes of a header after its identifier. Any thread.
std::vector<unsigned char> turbo_header_payload(const turbo_layout &layout, unsigned start, unsigned end,
                                                const std::array<unsigned char, 16> &name);

class turbo_encoder {
public:
    explicit turbo_encoder(const turbo_layout &layout) : layout_(layout) {}
    virtual ~turbo_encoder() = default;

    // Where every bit's pulse goes (0 or 1).
    virtual void pulse(unsigned bit) = 0;

    void write_byte(unsigned char value);

    // lead_in_bytes bytes 0x02, then the sync train.
    void lead_in_and_sync(unsigned lead_in_bytes);

    // A header block: lead-in and sync, identifier (1 or 2 for a header the
    // name decoders accept), the header payload.
    void header(unsigned lead_in_bytes, unsigned char id, unsigned start, unsigned end,
                const std::array<unsigned char, 16> &name);

    // A data block: lead-in and sync, identifier 0, the data, their XOR.
    void data(unsigned lead_in_bytes, const unsigned char *bytes, size_t length);

private:
    turbo_layout layout_;
};
