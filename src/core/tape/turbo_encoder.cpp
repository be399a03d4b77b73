// Encoder for the two turbo formats (see turbo_encoder.h).
#include "tape/turbo_encoder.h"

#include "tape/block_checksum.h"

namespace {

constexpr unsigned char padding_space = 0x20;

}  // namespace

std::vector<unsigned char> turbo_header_payload(const turbo_layout &layout, unsigned start, unsigned end,
                                                const std::array<unsigned char, 16> &name)
{
    std::vector<unsigned char> payload;
    payload.reserve(turbo_header_payload_bytes);
    payload.push_back(static_cast<unsigned char>(start & 0xFF));
    payload.push_back(static_cast<unsigned char>((start >> 8) & 0xFF));
    payload.push_back(static_cast<unsigned char>(end & 0xFF));
    payload.push_back(static_cast<unsigned char>((end >> 8) & 0xFF));
    payload.push_back(0); // spare
    payload.insert(payload.end(), name.begin(), name.end());
    payload.resize(payload.size() + layout.header_name_field - name.size(), padding_space);
    payload.resize(turbo_header_payload_bytes, padding_space);
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
        write_byte(turbo_lead_in_byte);
    for (unsigned char sync = layout_.sync_first; sync >= 1; --sync)
        write_byte(sync);
}

void turbo_encoder::header(unsigned lead_in_bytes, unsigned char id, unsigned start, unsigned end,
                           const std::array<unsigned char, 16> &name)
{
    lead_in_and_sync(lead_in_bytes);
    write_byte(id);
    for (unsigned char byte : turbo_header_payload(layout_, start, end, name))
        write_byte(byte);
}

void turbo_encoder::data(unsigned lead_in_bytes, const unsigned char *bytes, size_t length)
{
    lead_in_and_sync(lead_in_bytes);
    write_byte(turbo_data_id);
    for (size_t i = 0; i < length; ++i)
        write_byte(bytes[i]);
    write_byte(tape_block_checksum(bytes, length));
}
