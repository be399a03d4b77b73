#include "tape/tap_reader.h"

#include "tape/tap_writer.h"
#include "tape/tape_time.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned longest_sample = 65535;

uint64_t ticks_of_cycles(unsigned clock_hz, uint64_t cycles)
{
    return (cycles * tape_ticks_per_second + clock_hz / 2) / clock_hz;
}

// A pulse of these cycles becomes the pause to hand out: one sample, or as
// many equal ones as a pause longer than the longest sample needs. Each piece
// of a pause is longer than half the longest sample, far beyond any pulse a
// loader reads.
void start_pulse(tap_entry_decoder *decoder, uint64_t cycles)
{
    const uint64_t ticks = ticks_of_cycles(decoder->clock_hz, cycles);
    decoder->pause_ticks = ticks;
    decoder->pause_pieces = ticks == 0 ? 1 : (ticks + longest_sample - 1) / longest_sample;
    decoder->pause_left = decoder->pause_pieces;
}

// Hands out what is left of the pulse being split, as far as there is room.
void hand_out(tap_entry_decoder *decoder, unsigned short *samples, std::size_t max, std::size_t *out)
{
    while (decoder->pause_left > 0 && *out < max) {
        const uint64_t piece = decoder->pause_pieces - decoder->pause_left--;
        samples[(*out)++] = static_cast<unsigned short>(decoder->pause_ticks / decoder->pause_pieces +
                                                        (piece < decoder->pause_ticks % decoder->pause_pieces));
    }
}

uint32_t length_field(const unsigned char *header)
{
    return header[TAP_LENGTH_OFFSET] | (header[TAP_LENGTH_OFFSET + 1] << 8) |
           (header[TAP_LENGTH_OFFSET + 2] << 16) | (static_cast<uint32_t>(header[TAP_LENGTH_OFFSET + 3]) << 24);
}

}  // namespace

int tap_reader_has_signature(const unsigned char *bytes, std::size_t size)
{
    return size >= TAP_SIGNATURE_LENGTH && (std::memcmp(bytes, "C64-TAPE-RAW", TAP_SIGNATURE_LENGTH) == 0 ||
                                             std::memcmp(bytes, "C16-TAPE-RAW", TAP_SIGNATURE_LENGTH) == 0);
}

int tap_reader_header(const unsigned char *header, std::size_t size, unsigned clock_hz, tape_tap_info *info,
                      guint32 *entry_bytes, const char **error)
{
    if (!tap_reader_has_signature(header, size)) {
        *error = "not a TAP image (no C64-TAPE-RAW signature)";
        return 0;
    }
    if (size < TAP_HEADER_SIZE) {
        *error = "TAP image cut short inside its header";
        return 0;
    }
    const unsigned version = header[TAP_VERSION_OFFSET];
    if (version > 2) {
        *error = "unknown TAP version (only 0, 1 and 2 are known)";
        return 0;
    }
    const unsigned machine = version == 0 ? 0 : header[TAP_MACHINE_OFFSET];
    const unsigned video = version == 0 ? 0 : header[TAP_VIDEO_OFFSET];
    *info = tape_tap_info{version, machine, video, clock_hz ? clock_hz : machine_clock_hz(machine, video)};
    *entry_bytes = length_field(header);
    return 1;
}

void tap_entry_decoder_init(tap_entry_decoder *decoder, const tape_tap_info *info)
{
    *decoder = tap_entry_decoder{info->version, info->clock_hz, {}, 0, 0, 0, 0, 0};
    // 0: not looked up (a pulse of more ticks than a sample holds, at a
    // clock given that slow; or of none).
    for (unsigned units = 0; units < tap_entry_units_looked_up; ++units) {
        const uint64_t ticks = ticks_of_cycles(info->clock_hz, units * uint64_t{tap_cycles_per_unit});
        decoder->ticks_of_units[units] = static_cast<unsigned short>(ticks <= longest_sample ? ticks : 0);
    }
}

std::size_t tap_entry_decoder_run(tap_entry_decoder *decoder, const unsigned char *bytes, std::size_t size,
                                  int at_end, unsigned short *samples, std::size_t max, std::size_t *produced)
{
    std::size_t at = 0;
    std::size_t out = 0;
    hand_out(decoder, samples, max, &out);
    while (at < size && out < max) {
        uint64_t cycles = bytes[at] * uint64_t{tap_cycles_per_unit};
        std::size_t entry_size = 1;
        if (bytes[at] == tap_long_entry_mark && decoder->version == 0) {
            samples[out++] = longest_sample;  // an overflow of unknown length
            at += entry_size;
            continue;
        }
        if (bytes[at] == tap_long_entry_mark) {
            if (size - at < tap_long_entry_size) {
                if (at_end)
                    at = size;  // a long entry cut short ends the image
                break;
            }
            cycles = bytes[at + 1] | (bytes[at + 2] << 8) | (bytes[at + 3] << 16);
            entry_size = tap_long_entry_size;
        }
        at += entry_size;
        if (cycles == 0)
            continue;  // a pulse of no length is no pulse
        if (decoder->version == 2) {
            // Half waves: a pulse is a pair of them.
            if (!decoder->have_half_wave) {
                decoder->half_wave = cycles;
                decoder->have_half_wave = 1;
                continue;
            }
            cycles += decoder->half_wave;
            decoder->have_half_wave = 0;
        }
        if (cycles % tap_cycles_per_unit == 0 && cycles / tap_cycles_per_unit < tap_entry_units_looked_up &&
            decoder->ticks_of_units[cycles / tap_cycles_per_unit] != 0) {
            samples[out++] = decoder->ticks_of_units[cycles / tap_cycles_per_unit];
            continue;
        }
        start_pulse(decoder, cycles);
        hand_out(decoder, samples, max, &out);
    }
    if (at_end && at == size && out < max && decoder->have_half_wave) {
        decoder->have_half_wave = 0;
        start_pulse(decoder, decoder->half_wave);
        hand_out(decoder, samples, max, &out);
    }
    *produced = out;
    return at;
}
