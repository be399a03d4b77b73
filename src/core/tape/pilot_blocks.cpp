#include "tape/pilot_blocks.h"

namespace {

enum reader_state : uint8_t {
    seeking,    // shifting bits in until the register holds a pilot byte
    in_pilot,   // counting pilot bytes
    in_sync,    // the sync train
    identifier, // the byte after the sync train, for formats that have one
    payload,    // bytes until the caller ends the block
};

// Samples from here on alias onto small pulse bytes; they are in no class.
constexpr unsigned first_aliasing_sample = 2048;

constexpr uint8_t bit_one = 1;
constexpr uint8_t no_bit = 2;

inline uint8_t bit_of_sample(const pilot_block_reader *r, unsigned short sample)
{
    return sample < first_aliasing_sample ? r->bit_of_pulse[sample >> 3] : no_bit;
}

inline unsigned shift(unsigned byte, unsigned bit, bool lsb_first)
{
    return lsb_first ? (byte >> 1) | (bit << 7) : ((byte << 1) | bit) & 0xFFu;
}

// The search over samples[0..count) from tick, its register in a local
// variable: nearly every pulse of a tape is spent here. Returns how many
// samples it took; it stops after the one that completed a pilot byte.
template <bool lsb_first>
size_t seek_pilot(pilot_block_reader *r, const unsigned short *samples, size_t count, uint64_t *tick)
{
    const unsigned pilot = r->format->pilot_byte;
    unsigned byte = r->byte;
    uint64_t at = *tick;
    size_t i = 0;
    while (i < count) {
        const unsigned short sample = samples[i++];
        at += sample;
        byte = shift(byte, bit_of_sample(r, sample) == bit_one, lsb_first);
        if (byte == pilot) {
            r->state = in_pilot;
            r->lead_in_bytes = 1;
            r->bit_count = 0;
            r->byte_tick = at;
            r->lead_tick = at;
            r->pilot_sums = {};
            break;
        }
    }
    r->byte = static_cast<unsigned char>(byte);
    *tick = at;
    return i;
}

// A pilot or sync byte has been completed.
void judge_framing_byte(pilot_block_reader *r, uint64_t next_tick)
{
    const unsigned char byte = r->byte;
    const pilot_format &format = *r->format;
    if (r->state == in_pilot) {
        if (byte == format.pilot_byte) {
            ++r->lead_in_bytes;
        } else if (byte == format.sync_first) {
            r->block_tick = r->byte_tick;
            r->sync_next = static_cast<unsigned char>(format.sync_first - 1);
            r->sync_left = static_cast<unsigned char>(format.sync_length - 1);
            r->state = in_sync;
        } else {
            r->state = seeking;
        }
    } else if (byte != r->sync_next) {
        r->state = seeking;
    } else {
        --r->sync_next;
        --r->sync_left;
    }
    r->byte_tick = next_tick;
}

}  // namespace

void pilot_block_reader_init(pilot_block_reader *reader, const pilot_format *format)
{
    *reader = pilot_block_reader{};
    reader->format = format;
    reader->state = seeking;
    for (unsigned pulse = 0; pulse < 256; ++pulse) {
        const unsigned char byte = static_cast<unsigned char>(pulse);
        reader->bit_of_pulse[pulse] = pulse_in_window(byte, format->one_pulse)    ? bit_one
                                      : pulse_in_window(byte, format->zero_pulse) ? 0
                                                                                  : no_bit;
    }
}

void pilot_block_reader_end_block(pilot_block_reader *reader)
{
    reader->state = seeking;
    reader->byte = 0;
}

uint64_t pilot_block_reader_read(pilot_block_reader *r, const unsigned short *samples, size_t count, uint64_t tick,
                                 pilot_block_take take, void *context)
{
    const bool lsb_first = r->format->lsb_first;
    size_t i = 0;
    while (i < count) {
        if (r->state == seeking) {
            i += lsb_first ? seek_pilot<true>(r, samples + i, count - i, &tick)
                           : seek_pilot<false>(r, samples + i, count - i, &tick);
            continue;
        }
        const unsigned short sample = samples[i++];
        const uint8_t bit = bit_of_sample(r, sample);
        tick += sample;
        r->byte = static_cast<unsigned char>(shift(r->byte, bit & 1u, lsb_first));
        if (bit == 0 && r->state == in_pilot)
            pilot_pulse_sums_add(&r->pilot_sums, sample);
        if (bit == no_bit) {
            if (r->state != payload) {
                r->state = seeking; // the shift stays, as a 0 bit for the search
                continue;
            }
            r->byte_clean = false;
        }
        if (++r->bit_count < 8)
            continue;
        r->bit_count = 0;
        switch (r->state) {
        case in_pilot:
        case in_sync:
            judge_framing_byte(r, tick);
            if (r->state != in_sync || r->sync_left != 0)
                break;
            if (r->format->identified_blocks) {
                r->state = identifier;
                break;
            }
            r->identifier = 0;
            [[fallthrough]];
        case identifier:
            if (r->state == identifier)
                r->identifier = r->byte;
            r->index = 0;
            r->byte_clean = true;
            r->state = payload;
            r->end_tick = tick;
            take(context, pilot_block_began);
            break;
        case payload:
            r->value = r->byte;
            r->clean = r->byte_clean;
            r->end_tick = tick;
            r->byte_clean = true;
            take(context, pilot_block_byte);
            ++r->index;
            break;
        }
    }
    return tick;
}
