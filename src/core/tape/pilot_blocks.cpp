#include "tape/pilot_blocks.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

enum reader_state : uint8_t {
    seeking,    // shifting bits in until the register holds a pilot byte
    in_pilot,   // counting pilot bytes
    in_sync,    // the sync train
    identifier, // the byte after the sync train, for formats that have one
    payload,    // bytes until the caller ends the block
};

constexpr uint8_t bit_one = 1;
constexpr uint8_t no_bit = 2;

inline uint8_t bit_of_sample(const pilot_block_reader *r, unsigned short sample)
{
    return sample < tape_first_aliasing_sample ? r->bit_of_pulse[sample >> 3] : no_bit;
}

inline unsigned shift(unsigned byte, unsigned bit, bool lsb_first)
{
    return lsb_first ? (byte >> 1) | (bit << 7) : ((byte << 1) | bit) & 0xFFu;
}

// The first of a word's nonzero bytes in memory order, the word loaded from
// memory.
inline size_t first_nonzero_byte(uint64_t word)
{
    if constexpr (std::endian::native == std::endian::little)
        return size_t(std::countr_zero(word)) / 8;
    else
        return size_t(std::countl_zero(word)) / 8;
}

void found_pilot(pilot_block_reader *r, uint64_t at)
{
    r->state = in_pilot;
    r->lead_in_bytes = 1;
    r->bit_count = 0;
    r->byte_tick = at;
    r->lead_tick = at;
    r->pilot_sums = {};
}

// The first sample of the batch from `from` on after which the lane holds
// its pilot byte, or the batch's count.
size_t next_pilot_at(const pilot_lanes *lanes, unsigned lane, size_t from)
{
    const uint64_t wanted = (uint64_t{1} << lane) * 0x0101010101010101ull;
    for (size_t j = from; j < lanes->count; j += 8) {
        uint64_t masks;
        std::memcpy(&masks, lanes->pilot_at + j, sizeof masks);
        masks &= wanted;
        if (masks != 0) {
            const size_t at = j + first_nonzero_byte(masks);
            return at < lanes->count ? at : lanes->count;
        }
    }
    return lanes->count;
}

// The search from sample i of the batch: nearly every pulse of a tape is
// spent here. Shifts pulse by pulse only until the register is in step
// with its lane, then takes the lane's mask. Returns how many samples it
// took; it stops after the one that completed a pilot byte.
size_t seek_pilot(pilot_block_reader *r, const pilot_lanes *lanes, unsigned lane, size_t i, uint64_t *tick)
{
    const unsigned shift_by = 8 * lane;
    const bool lsb_first = r->format->lsb_first;
    const unsigned pilot = r->format->pilot_byte;
    unsigned byte = r->byte;
    uint64_t lane_before = i == 0 ? lanes->before : lanes->after[i - 1];
    size_t j = i;
    while (j < lanes->count && pilot_lane_of_register(byte, lsb_first) != ((lane_before >> shift_by) & 0xFFu)) {
        const unsigned short sample = lanes->samples[j];
        byte = shift(byte, bit_of_sample(r, sample) == bit_one, lsb_first);
        lane_before = lanes->after[j++];
        if (byte == pilot) {
            r->byte = static_cast<unsigned char>(byte);
            *tick = lanes->tick_after[j - 1];
            found_pilot(r, *tick);
            return j - i;
        }
    }
    if (j == lanes->count) { // i < j: the caller has samples left
        r->byte = static_cast<unsigned char>(byte);
        *tick = lanes->tick_after[j - 1];
        return j - i;
    }
    size_t at = next_pilot_at(lanes, lane, j);
    // A pilot byte followed within a byte by a pulse in no class ends there
    // with nothing read, the register in step with the lane again: on noise
    // nearly every pilot byte is such (the lanes pass over those whose next
    // two pulses say so), so it is passed over here rather than read.
    while (at < lanes->count) {
        const size_t last = std::min(at + 8, lanes->count - 1);
        size_t k = at + 1;
        while (k <= last && bit_of_sample(r, lanes->samples[k]) != no_bit)
            ++k;
        if (k > last)
            break;
        at = next_pilot_at(lanes, lane, k + 1);
    }
    if (at == lanes->count) {
        const unsigned last = (lanes->after[at - 1] >> shift_by) & 0xFFu;
        r->byte = static_cast<unsigned char>(pilot_lane_of_register(last, lsb_first));
        *tick = lanes->tick_after[at - 1];
        return at - i;
    }
    r->byte = static_cast<unsigned char>(pilot);
    *tick = lanes->tick_after[at];
    found_pilot(r, *tick);
    return at + 1 - i;
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

// A byte outside the search has been completed (bit_count is 0 again); its
// last pulse ends at tick.
void complete_byte(pilot_block_reader *r, uint64_t tick, pilot_block_take take, void *context)
{
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

// The pilot over samples[0..count) from *tick, its state in local
// variables: on a tape of long pilots most pulses not searched are read
// here (and by two readers where two formats share a pilot byte). Returns
// how many samples it took; it stops after the one that ended the pilot: a
// pulse in no class (back to the search), or the last of a byte that is not
// the pilot byte (taken on by complete_byte).
template <bool lsb_first>
size_t read_pilot(pilot_block_reader *r, const unsigned short *samples, size_t count, uint64_t *tick,
                  pilot_block_take take, void *context)
{
    const unsigned pilot = r->format->pilot_byte;
    unsigned byte = r->byte;
    unsigned bit_count = r->bit_count;
    uint32_t lead_in_bytes = r->lead_in_bytes;
    // The sums apart, not as one struct, so that no compiler packs them into
    // a vector register and out again for every pulse.
    uint64_t zero_pulses = r->pilot_sums.pulses;
    uint64_t zero_ticks = r->pilot_sums.ticks;
    uint64_t zero_squares = r->pilot_sums.squares;
    uint64_t byte_tick = r->byte_tick;
    uint64_t at = *tick;
    bool byte_ended_pilot = false;
    size_t i = 0;
    while (i < count) {
        const unsigned short sample = samples[i++];
        const uint8_t bit = bit_of_sample(r, sample);
        at += sample;
        byte = shift(byte, bit & 1u, lsb_first);
        if (bit == 0) {
            ++zero_pulses;
            zero_ticks += sample;
            zero_squares += uint64_t{sample} * sample;
        }
        if (bit == no_bit) {
            r->state = seeking; // the shift stays, as a 0 bit for the search
            break;
        }
        if (++bit_count < 8)
            continue;
        bit_count = 0;
        if (byte != pilot) {
            byte_ended_pilot = true;
            break;
        }
        ++lead_in_bytes;
        byte_tick = at;
    }
    r->byte = static_cast<unsigned char>(byte);
    r->bit_count = static_cast<uint8_t>(bit_count);
    r->lead_in_bytes = lead_in_bytes;
    r->pilot_sums.pulses = zero_pulses;
    r->pilot_sums.ticks = zero_ticks;
    r->pilot_sums.squares = zero_squares;
    r->byte_tick = byte_tick;
    *tick = at;
    if (byte_ended_pilot)
        complete_byte(r, at, take, context);
    return i;
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

uint64_t pilot_block_reader_read(pilot_block_reader *r, const pilot_lanes *lanes, unsigned lane, pilot_block_take take,
                                 void *context)
{
    const bool lsb_first = r->format->lsb_first;
    const unsigned short *samples = lanes->samples;
    const size_t count = lanes->count;
    uint64_t tick = lanes->tick;
    size_t i = 0;
    while (i < count) {
        if (r->state == seeking) {
            i += seek_pilot(r, lanes, lane, i, &tick);
            continue;
        }
        if (r->state == in_pilot) {
            i += lsb_first ? read_pilot<true>(r, samples + i, count - i, &tick, take, context)
                           : read_pilot<false>(r, samples + i, count - i, &tick, take, context);
            continue;
        }
        const unsigned short sample = samples[i++];
        const uint8_t bit = bit_of_sample(r, sample);
        tick += sample;
        r->byte = static_cast<unsigned char>(shift(r->byte, bit & 1u, lsb_first));
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
        complete_byte(r, tick, take, context);
    }
    return tick;
}
