// Writes the stand-in firmware image in Intel HEX form.
//
// The device's real program is not part of this repository. The image made
// here has exactly the shape the client's handling is built around (record
// sizes, addresses, line endings), so the whole update path can be exercised
// against a simulated bootloader. Its content: a reset vector that jumps to
// itself, a readable marker, then bytes from a fixed-seed xorshift generator,
// so that a block flashed to the wrong place or dropped shows up in a compare.
//
// Usage: zr7k8-firmware-image OUTPUT.hex   (the same bytes on every run)
#include "device/firmware_stand_in_marker.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr unsigned image_size = 5308;          // bytes of program text
constexpr unsigned full_records = 331;         // records of 16 bytes
constexpr unsigned tail_records[] = {4, 8};    // the two short records at the end
constexpr std::uint32_t pattern_seed = 0x5A37C8E1u;
constexpr char marker[] = FIRMWARE_STAND_IN_MARKER;

std::vector<unsigned char> image_bytes()
{
    std::vector<unsigned char> bytes(image_size);
    // rjmp .-2: an endless loop, so that a controller started on this image idles.
    bytes[0] = 0xFF;
    bytes[1] = 0xCF;
    std::memcpy(&bytes[2], marker, sizeof marker);
    std::uint32_t state = pattern_seed;
    for (unsigned i = 2 + sizeof marker; i < image_size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

void append_hex_byte(std::string &line, unsigned value, unsigned &sum)
{
    static const char digits[] = "0123456789ABCDEF";
    line += digits[(value >> 4) & 0xF];
    line += digits[value & 0xF];
    sum += value;
}

std::string record(unsigned type, unsigned address, const unsigned char *data, unsigned count)
{
    std::string line = ":";
    unsigned sum = 0;
    append_hex_byte(line, count, sum);
    append_hex_byte(line, address >> 8, sum);
    append_hex_byte(line, address & 0xFF, sum);
    append_hex_byte(line, type, sum);
    for (unsigned i = 0; i < count; ++i)
        append_hex_byte(line, data[i], sum);
    unsigned ignored = 0;
    append_hex_byte(line, (0x100 - (sum & 0xFF)) & 0xFF, ignored);
    return line + "\r\n";
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.hex\n", argv[0]);
        return 2;
    }
    const std::vector<unsigned char> bytes = image_bytes();
    std::string text;
    unsigned address = 0;
    for (unsigned i = 0; i < full_records; ++i, address += 16)
        text += record(0x00, address, &bytes[address], 16);
    for (unsigned count : tail_records) {
        text += record(0x00, address, &bytes[address], count);
        address += count;
    }
    if (address != image_size) {
        std::fprintf(stderr, "record layout covers %u bytes, expected %u\n", address, image_size);
        return 1;
    }
    text += record(0x01, 0, nullptr, 0);

    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
