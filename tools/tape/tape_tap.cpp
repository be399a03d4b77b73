#include "tape_tap.h"

#include "tape_file.h"
#include "tape/tap_writer.h"
#include "tape/tape_time.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned cycles_per_unit = 8;
constexpr unsigned longest_sample = 65535;

uint64_t ticks_of(uint64_t cycles, unsigned clock_hz)
{
    return (cycles * tape_ticks_per_second + clock_hz / 2) / clock_hz;
}

// A pulse becomes one sample; a pause longer than the longest sample becomes
// as many equal samples as it needs, so the tape keeps its whole length. Each
// of them is longer than half the longest sample, far beyond any pulse a
// loader reads.
void push_pulse(std::vector<unsigned short> *samples, uint64_t cycles, unsigned clock_hz)
{
    const uint64_t ticks = ticks_of(cycles, clock_hz);
    const uint64_t pieces = ticks == 0 ? 1 : (ticks + longest_sample - 1) / longest_sample;
    for (uint64_t i = 0; i < pieces; ++i)
        samples->push_back(static_cast<unsigned short>(ticks / pieces + (i < ticks % pieces ? 1 : 0)));
}

int reject(std::string *error, const char *reason)
{
    if (error)
        *error = reason;
    return 0;
}

bool has_signature(const unsigned char *data, size_t size)
{
    return size >= TAP_SIGNATURE_LENGTH && (std::memcmp(data, "C64-TAPE-RAW", TAP_SIGNATURE_LENGTH) == 0 ||
                                             std::memcmp(data, "C16-TAPE-RAW", TAP_SIGNATURE_LENGTH) == 0);
}

uint32_t length_field(const unsigned char *data)
{
    return data[TAP_LENGTH_OFFSET] | (data[TAP_LENGTH_OFFSET + 1] << 8) | (data[TAP_LENGTH_OFFSET + 2] << 16) |
           (static_cast<uint32_t>(data[TAP_LENGTH_OFFSET + 3]) << 24);
}

}  // namespace

int tape_tap_file_check(const char *path, std::string *error, std::string *warning)
{
    if (warning)
        warning->clear();
    FILE *file = std::fopen(path, "rb");
    if (!file)
        return reject(error, std::strerror(errno));
    unsigned char header[TAP_HEADER_SIZE];
    const size_t got = std::fread(header, 1, sizeof header, file);
    const int read_error = std::ferror(file) ? errno : 0;
    long size = -1;
    if (read_error == 0 && std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    std::fclose(file);
    if (read_error != 0 || size < 0)
        return reject(error, std::strerror(read_error ? read_error : EISDIR));
    if (!has_signature(header, got))
        return -1;
    if (got < TAP_HEADER_SIZE)
        return reject(error, "TAP image cut short inside its header");
    if (header[TAP_VERSION_OFFSET] > 2)
        return reject(error, "unknown TAP version (only 0, 1 and 2 are known)");
    const uint64_t counted = length_field(header), held = static_cast<uint64_t>(size) - TAP_HEADER_SIZE;
    if (warning && counted > held) {
        *warning = "TAP image cut short: its header counts " + std::to_string(counted) + " bytes of pulses, " +
                   std::to_string(held) + " are there; reading those";
    } else if (warning && counted < held) {
        *warning = "TAP image longer than its header says: " + std::to_string(held - counted) +
                   " bytes after the " + std::to_string(counted) + " it counts are left out";
    }
    return 1;
}

int tape_tap_to_samples(const unsigned char *data, size_t size, unsigned clock_hz,
                        std::vector<unsigned short> *samples, tape_tap_info *info, std::string *error)
{
    if (size < TAP_HEADER_SIZE || !has_signature(data, size))
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

    const uint32_t declared = length_field(data);
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
        push_pulse(samples, cycles, clock_hz);
    }
    if (have_half_wave)
        push_pulse(samples, half_wave, clock_hz);
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
