#include "tape_tap.h"

#include "tape_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t header_size = 20;
constexpr size_t version_offset = 12;
constexpr size_t machine_offset = 13;
constexpr size_t video_offset = 14;
constexpr size_t length_offset = 16;
constexpr unsigned cycles_per_unit = 8;
constexpr unsigned longest_sample = 65535;

// Machine clocks by header machine byte and video byte.
unsigned clock_for(unsigned machine, unsigned video)
{
    static const unsigned c64[] = {985248, 1022727, 1022730, 1023440}; // PAL, NTSC, old NTSC, PAL-N
    static const unsigned vic20[] = {1108405, 1022727};
    static const unsigned c16[] = {886724, 894886};
    switch (machine) {
    case 0:
        return video < 4 ? c64[video] : tape_c64_pal_hz;
    case 1:
        return video < 2 ? vic20[video] : vic20[0];
    case 2:
        return video < 2 ? c16[video] : c16[0];
    default:
        return tape_c64_pal_hz;
    }
}

unsigned short ticks_of(uint64_t cycles, unsigned clock_hz)
{
    const uint64_t ticks = (cycles * tape_tick_hz + clock_hz / 2) / clock_hz;
    return static_cast<unsigned short>(std::min<uint64_t>(ticks, longest_sample));
}

int reject(std::string *error, const char *reason)
{
    if (error)
        *error = reason;
    return 0;
}

}  // namespace

int tape_tap_to_samples(const unsigned char *data, size_t size, unsigned clock_hz,
                        std::vector<unsigned short> *samples, tape_tap_info *info, std::string *error)
{
    if (size < header_size ||
        (std::memcmp(data, "C64-TAPE-RAW", 12) != 0 && std::memcmp(data, "C16-TAPE-RAW", 12) != 0))
        return reject(error, "not a TAP image (no C64-TAPE-RAW signature)");
    const unsigned version = data[version_offset];
    if (version > 2)
        return reject(error, "unknown TAP version (only 0, 1 and 2 are known)");

    const unsigned machine = version == 0 ? 0 : data[machine_offset];
    const unsigned video = version == 0 ? 0 : data[video_offset];
    if (clock_hz == 0)
        clock_hz = clock_for(machine, video);
    if (info)
        *info = tape_tap_info{version, machine, video, clock_hz};

    const uint32_t declared = data[length_offset] | (data[length_offset + 1] << 8) |
                              (data[length_offset + 2] << 16) |
                              (static_cast<uint32_t>(data[length_offset + 3]) << 24);
    const size_t end = header_size + std::min<size_t>(declared, size - header_size);

    samples->clear();
    uint64_t half_wave = 0;
    int have_half_wave = 0;
    for (size_t at = header_size; at < end;) {
        uint64_t cycles = data[at++] * uint64_t{cycles_per_unit};
        if (cycles == 0) {
            if (version == 0) {
                samples->push_back(longest_sample); // an overflow of unknown length
                continue;
            }
            if (end - at < 3)
                break;
            cycles = data[at] | (data[at + 1] << 8) | (data[at + 2] << 16);
            at += 3;
            if (cycles == 0)
                continue; // a pulse of no length is no pulse
        }
        if (version == 2) {
            // Half waves: a pulse is a pair of them.
            if (!have_half_wave) {
                half_wave = cycles;
                have_half_wave = 1;
                continue;
            }
            cycles += half_wave;
            have_half_wave = 0;
        }
        samples->push_back(ticks_of(cycles, clock_hz));
    }
    if (have_half_wave)
        samples->push_back(ticks_of(half_wave, clock_hz));
    return 1;
}

int tape_tap_file_to_samples(const char *path, unsigned clock_hz, std::vector<unsigned short> *samples,
                             tape_tap_info *info, std::string *error)
{
    std::vector<unsigned char> bytes;
    if (!tape_read_file(path, &bytes, error))
        return 0;
    return tape_tap_to_samples(bytes.data(), bytes.size(), clock_hz, samples, info, error);
}
