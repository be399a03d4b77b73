#include "tape_tap.h"

#include "tape_file.h"
#include "tap_writer.h"
#include "tape_time.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned cycles_per_unit = 8;
constexpr unsigned longest_sample = 65535;

unsigned short ticks_of(uint64_t cycles, unsigned clock_hz)
{
    const uint64_t ticks = (cycles * tape_ticks_per_second + clock_hz / 2) / clock_hz;
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
    if (size < TAP_HEADER_SIZE ||
        (std::memcmp(data, "C64-TAPE-RAW", 12) != 0 && std::memcmp(data, "C16-TAPE-RAW", 12) != 0))
        return reject(error, "not a TAP image (no C64-TAPE-RAW signature)");
    const unsigned version = data[TAP_VERSION_OFFSET];
    if (version > 2)
        return reject(error, "unknown TAP version (only 0, 1 and 2 are known)");

    const unsigned machine = version == 0 ? 0 : data[TAP_MACHINE_OFFSET];
    const unsigned video = version == 0 ? 0 : data[TAP_VIDEO_OFFSET];
    if (clock_hz == 0)
        clock_hz = tap_clock_hz(machine, video);
    if (info)
        *info = tape_tap_info{version, machine, video, clock_hz};

    const uint32_t declared = data[TAP_LENGTH_OFFSET] | (data[TAP_LENGTH_OFFSET + 1] << 8) |
                              (data[TAP_LENGTH_OFFSET + 2] << 16) |
                              (static_cast<uint32_t>(data[TAP_LENGTH_OFFSET + 3]) << 24);
    const size_t end = TAP_HEADER_SIZE + std::min<size_t>(declared, size - TAP_HEADER_SIZE);

    samples->clear();
    uint64_t half_wave = 0;
    int have_half_wave = 0;
    for (size_t at = TAP_HEADER_SIZE; at < end;) {
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
