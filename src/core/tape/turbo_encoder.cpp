// Encoder for the turbo formats (see turbo_encoder.h).
#include "tape/turbo_encoder.h"

#include "tape/block_checksum.h"

#include <algorithm>

namespace {

constexpr unsigned char padding_space = 0x20;

}  // namespace

std::vector<unsigned char> turbo_header_payload(const turbo_format &format, unsigned start, unsigned end,
                                                const std::array<unsigned char, 16> &name)
{
    std::vector<unsigned char> payload(format.header_payload_bytes, padding_space);
    payload[format.header_start_byte] = static_cast<unsigned char>(start & 0xFF);
    payload[format.header_start_byte + 1] = static_cast<unsigned char>((start >> 8) & 0xFF);
    payload[format.header_end_byte] = static_cast<unsigned char>(end & 0xFF);
    payload[format.header_end_byte + 1] = static_cast<unsigned char>((end >> 8) & 0xFF);
    payload[format.header_spare_byte] = 0;
    std::copy(name.begin(), name.end(), payload.begin() + format.header_name_byte);
    return payload;
}

void turbo_encoder::write_byte(unsigned char value)
{
    for (int bit = 7; bit >= 0; --bit)
        pulse((value >> bit) & 1u);
}

void turbo_encoder::lead_in_and_sync(unsigned lead_in_bytes)
{
    for (unsigned i = 0; i < lead_in_bytes; ++i)
        write_byte(format_.lead_in_byte);
    for (unsigned char sync = format_.sync_first; sync >= 1; --sync)
        write_byte(sync);
}

void turbo_encoder::header(unsigned lead_in_bytes, unsigned char id, unsigned start, unsigned end,
                           const std::array<unsigned char, 16> &name)
{
    lead_in_and_sync(lead_in_bytes);
    write_byte(id);
    for (unsigned char byte : turbo_header_payload(format_, start, end, name))
        write_byte(byte);
}

void turbo_encoder::data(unsigned lead_in_bytes, const unsigned char *bytes, size_t length)
{
    lead_in_and_sync(lead_in_bytes);
    write_byte(format_.data_id);
    for (size_t i = 0; i < length; ++i)
        write_byte(bytes[i]);
    write_byte(tape_block_checksum(bytes, length));
}
