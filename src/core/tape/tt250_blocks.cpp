#include "tape/tt250_blocks.h"

#include "tape/turbo_format.h"

#include <array>

namespace {

enum reader_state : uint8_t {
    seeking,    // shifting bits in until the register holds a lead-in byte
    in_lead_in, // counting lead-in bytes
    in_sync,    // the sync train, 0x09 down to 0x01
    identifier, // the byte after the sync train
    payload,    // bytes until the caller ends the block
};

constexpr unsigned char lead_in_byte = tt250_format.lead_in_byte;
constexpr unsigned char sync_first = tt250_format.sync_first;

// Samples from here on alias onto small pulse bytes; they are in no window.
constexpr unsigned first_aliasing_sample = tape_first_aliasing_sample;

constexpr uint8_t bit_zero = 0;
constexpr uint8_t bit_one = 1;
constexpr uint8_t no_bit = 2;

constexpr std::array<uint8_t, first_aliasing_sample / tape_ticks_per_pulse_unit> bit_of_pulse = [] {
    std::array<uint8_t, first_aliasing_sample / tape_ticks_per_pulse_unit> bits{};
    for (unsigned pulse = 0; pulse < bits.size(); ++pulse) {
        const unsigned char byte = static_cast<unsigned char>(pulse);
        bits[pulse] = pulse_in_window(byte, tt250_format.one_pulse)    ? bit_one
                      : pulse_in_window(byte, tt250_format.zero_pulse) ? bit_zero
                                                                : no_bit;
    }
    return bits;
}();

uint8_t bit_of_sample(unsigned short sample)
{
    return sample < first_aliasing_sample ? bit_of_pulse[sample / tape_ticks_per_pulse_unit] : no_bit;
}

// The search over samples[0..count) from tick, its register in a local
// variable: nearly every pulse of a tape is spent here. Returns how many
// samples it took; it stops after the one that completed a lead-in byte.
size_t seek_lead_in(tt250_block_reader *r, const unsigned short *samples, size_t count, uint64_t *tick)
{
    unsigned byte = r->byte;
    uint64_t at = *tick;
    size_t i = 0;
    while (i < count) {
        const unsigned short sample = samples[i++];
        at += sample;
        byte = ((byte << 1) | (bit_of_sample(sample) == bit_one)) & 0xFFu;
        if (byte == lead_in_byte) {
            r->state = in_lead_in;
            r->lead_in_bytes = 1;
            r->bit_count = 0;
            r->byte_tick = at;
            r->lead_tick = at;
            break;
        }
    }
    r->byte = static_cast<unsigned char>(byte);
    *tick = at;
    return i;
}

// A lead-in or sync byte has been completed.
void judge_framing_byte(tt250_block_reader *r, uint64_t next_tick)
{
    const unsigned char byte = r->byte;
    if (r->state == in_lead_in) {
        if (byte == lead_in_byte) {
            ++r->lead_in_bytes;
        } else if (byte == sync_first) {
            r->block_tick = r->byte_tick;
            r->sync_next = sync_first - 1;
            r->state = in_sync;
        } else {
            r->state = seeking;
        }
    } else if (byte != r->sync_next) {
        r->state = seeking;
    } else if (--r->sync_next == 0) {
        r->state = identifier;
    }
    r->byte_tick = next_tick;
}

}  // namespace

void tt250_block_reader_init(tt250_block_reader *reader)
{
    *reader = tt250_block_reader{};
    reader->state = seeking;
}

void tt250_block_reader_end_block(tt250_block_reader *reader)
{
    reader->state = seeking;
    reader->byte = 0;
}

uint64_t tt250_block_reader_read(tt250_block_reader *r, const unsigned short *samples, size_t count, uint64_t tick,
                                 tt250_block_take take, void *context)
{
    size_t i = 0;
    while (i < count) {
        if (r->state == seeking) {
            i += seek_lead_in(r, samples + i, count - i, &tick);
            continue;
        }
        const unsigned short sample = samples[i++];
        const uint8_t bit = bit_of_sample(sample);
        tick += sample;
        r->byte = static_cast<unsigned char>((r->byte << 1) | (bit & 1u));
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
        case in_lead_in:
        case in_sync:
            judge_framing_byte(r, tick);
            break;
        case identifier:
            r->identifier = r->byte;
            r->index = 0;
            r->byte_clean = true;
            r->state = payload;
            r->end_tick = tick;
            take(context, tt250_block_began);
            break;
        case payload:
            r->value = r->byte;
            r->clean = r->byte_clean;
            r->end_tick = tick;
            r->byte_clean = true;
            take(context, tt250_block_byte);
            ++r->index;
            break;
        }
    }
    return tick;
}
