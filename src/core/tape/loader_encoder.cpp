// Encoders for the commercial loaders (see loader_encoder.h).
#include "tape/loader_encoder.h"

#include "tape/block_checksum.h"

#include <algorithm>

namespace {

constexpr unsigned char header_padding = 0x20;

void put_address(std::vector<unsigned char> *bytes, unsigned at, unsigned value)
{
    (*bytes)[at] = static_cast<unsigned char>(value & 0xFF);
    (*bytes)[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

}  // namespace

std::vector<unsigned char> pilot_header(const pilot_format &format, unsigned start, unsigned end,
                                        const std::array<unsigned char, 16> &name)
{
    std::vector<unsigned char> header(format.header_length, header_padding);
    for (unsigned i = 0; i < format.name_at && i < header.size(); ++i)
        header[i] = 0;
    for (unsigned i = 0; i < format.name_length; ++i)
        header[format.name_at + i] = name[i];
    put_address(&header, format.load_at, start);
    put_address(&header, format.end_at, format.end_field == pilot_size_complement ? 0x10000 - (end - start) : end);
    return header;
}

void pilot_encoder::write_byte(unsigned char value)
{
    for (int i = 0; i < 8; ++i)
        pulse(format_.lsb_first ? (value >> i) & 1u : (value >> (7 - i)) & 1u);
}

void pilot_encoder::pilot_and_sync(unsigned pilot_bytes)
{
    for (unsigned i = 0; i < pilot_bytes; ++i)
        write_byte(format_.pilot_byte);
    for (unsigned i = 0; i < format_.sync_length; ++i)
        write_byte(static_cast<unsigned char>(format_.sync_first - i));
}

void pilot_encoder::header_block(unsigned pilot_bytes, unsigned char identifier,
                                 const std::vector<unsigned char> &header)
{
    pilot_and_sync(pilot_bytes);
    if (format_.identified_blocks)
        write_byte(identifier);
    for (unsigned char byte : header)
        write_byte(byte);
}

void pilot_encoder::data_block(unsigned pilot_bytes, const unsigned char *data, size_t length)
{
    if (format_.identified_blocks) {
        pilot_and_sync(pilot_bytes);
        write_byte(0);
    }
    for (size_t i = 0; i < length; ++i)
        write_byte(data[i]);
    write_byte(tape_block_checksum(data, length));
}

void pilot_encoder::file_of(unsigned pilot_bytes, unsigned char identifier, const std::vector<unsigned char> &header,
                            const unsigned char *data, size_t length)
{
    header_block(pilot_bytes, identifier, header);
    data_block(pilot_bytes, data, length);
}

void pilot_encoder::file(unsigned start, const std::array<unsigned char, 16> &name, const unsigned char *data,
                         size_t length)
{
    file(start, name, data, length, format_.pilot_bytes_written);
}

void pilot_encoder::file(unsigned start, const std::array<unsigned char, 16> &name, const unsigned char *data,
                         size_t length, unsigned pilot_bytes)
{
    file_of(pilot_bytes, 1, pilot_header(format_, start, unsigned(start + length), name), data, length);
}

std::vector<unsigned char> novaload_header(const std::vector<unsigned char> &name, unsigned start, size_t length)
{
    const size_t at = 1 + name.size();
    std::vector<unsigned char> header(at + 6);
    header[0] = static_cast<unsigned char>(name.size());
    std::copy(name.begin(), name.end(), header.begin() + 1);
    put_address(&header, unsigned(at), start - novaload_facts.load_offset);
    put_address(&header, unsigned(at + 2), unsigned(start + length));
    put_address(&header, unsigned(at + 4), unsigned(length + novaload_facts.size_offset));
    return header;
}

std::vector<unsigned char> novaload_data_stream(const std::vector<unsigned char> &header, const unsigned char *data,
                                                size_t length)
{
    unsigned char sum = 0;
    for (unsigned char byte : header)
        sum = static_cast<unsigned char>(sum + byte);
    std::vector<unsigned char> stream;
    size_t at = 0;
    for (;;) {
        stream.push_back(sum);
        sum = static_cast<unsigned char>(sum + sum);
        if (at == length)
            return stream;
        for (size_t end = std::min(length, at + novaload_facts.sub_block_bytes); at < end; ++at) {
            stream.push_back(data[at]);
            sum = static_cast<unsigned char>(sum + data[at]);
        }
    }
}

std::vector<unsigned char> novaload_special_stream(unsigned first_page, const unsigned char *data, size_t length)
{
    std::vector<unsigned char> stream;
    for (size_t at = 0; at + novaload_facts.page_bytes <= length; at += novaload_facts.page_bytes) {
        const unsigned char page = static_cast<unsigned char>(first_page + at / novaload_facts.page_bytes);
        unsigned char sum = page;
        stream.push_back(page);
        for (size_t i = at; i < at + novaload_facts.page_bytes; ++i) {
            stream.push_back(data[i]);
            sum = static_cast<unsigned char>(sum + data[i]);
        }
        stream.push_back(sum);
    }
    return stream;
}

void novaload_encoder::write_byte(unsigned char value)
{
    for (int i = 0; i < 8; ++i)
        pulse((value >> i) & 1u);
}

void novaload_encoder::write_bytes(const std::vector<unsigned char> &bytes)
{
    for (unsigned char byte : bytes)
        write_byte(byte);
}

void novaload_encoder::pilot_and_marker(unsigned pulses)
{
    trailer(pulses);
    pulse(1);
    write_byte(novaload_facts.marker);
}

void novaload_encoder::trailer(unsigned pulses)
{
    for (unsigned i = 0; i < pulses; ++i)
        pulse(0);
}

void novaload_encoder::file(const std::vector<unsigned char> &name, unsigned start, const unsigned char *data,
                            size_t length, unsigned pilot_pulses, unsigned trailer_pulses)
{
    const std::vector<unsigned char> header = novaload_header(name, start, length);
    pilot_and_marker(pilot_pulses);
    write_bytes(header);
    write_bytes(novaload_data_stream(header, data, length));
    trailer(trailer_pulses);
}

void novaload_encoder::special(const std::vector<run> &runs, unsigned pilot_pulses, unsigned trailer_pulses)
{
    pilot_and_marker(pilot_pulses);
    write_byte(novaload_facts.special_marker);
    for (const run &r : runs)
        write_bytes(novaload_special_stream(r.first_page, r.data.data(), r.data.size()));
    write_byte(0);
    trailer(trailer_pulses);
}
