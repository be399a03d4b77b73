#include "tape/rom_blocks.h"

#include "tape/rom_format.h"

#include <array>

namespace {

// Pulse classes as bits: pulse byte 113 is short and medium at once.
constexpr uint8_t short_class = 1;
constexpr uint8_t medium_class = 2;
constexpr uint8_t long_class = 4;

constexpr std::array<uint8_t, 256> pulse_classes = [] {
    std::array<uint8_t, 256> classes{};
    for (unsigned pulse = 0; pulse < 256; ++pulse) {
        const unsigned char byte = static_cast<unsigned char>(pulse);
        classes[pulse] = static_cast<uint8_t>((pulse_in_window(byte, rom_short_pulse) ? short_class : 0) |
                                              (pulse_in_window(byte, rom_medium_pulse) ? medium_class : 0) |
                                              (pulse_in_window(byte, rom_long_pulse) ? long_class : 0));
    }
    return classes;
}();

// A pair's bit by the classes of its two pulses: 1 for (medium, short), 0 for
// (short, medium), rom_no_bit for anything else; the medium-first pair is tested
// first, as in the name decoder. A table: bit values are random, so tests
// would be branches the processor cannot foresee.
constexpr uint8_t rom_no_bit = 2;
constexpr std::array<uint8_t, 64> bit_of_pair = [] {
    std::array<uint8_t, 64> bits{};
    for (unsigned first = 0; first < 8; ++first)
        for (unsigned second = 0; second < 8; ++second)
            bits[first * 8 + second] = (first & medium_class) && (second & short_class)   ? 1
                                       : (first & short_class) && (second & medium_class) ? 0
                                                                                          : rom_no_bit;
    return bits;
}();

constexpr unsigned data_bit_pulses = 16; // eight data bits, two pulses each

// Short pulses in a row that make a pilot.
constexpr uint32_t pilot_short_pulses = rom_block_pilot_pulses;

enum rom_reader_state : uint8_t {
    rom_seeking,   // outside blocks: waiting for a pilot
    rom_in_pilot,  // enough short pulses; a long one opens the first marker
    marker_second, // a marker's long pulse seen: medium opens a byte, short is the end mark
    bit_pairs,     // eight data bits and the parity bit, two pulses each
    next_marker,   // a byte is complete; a long pulse opens the next one
    hunting,       // after damage: waiting for a long pulse, the next marker
};

constexpr uint32_t countdown_bytes = rom_countdown_bytes;
constexpr unsigned char first_copy_countdown = rom_first_countdown;
constexpr unsigned char repeated_copy_countdown = rom_repeated_countdown;

// A window's centre unit, at its first tick.
constexpr uint32_t centre_ticks(pulse_window window)
{
    return pulse_window_centre(window) * tape_ticks_per_pulse_unit;
}

// The length of a byte until one has been timed.
constexpr uint32_t nominal_byte_ticks = rom_byte_long_pulses * centre_ticks(rom_long_pulse) +
                                        rom_byte_medium_pulses * centre_ticks(rom_medium_pulse) +
                                        rom_byte_short_pulses * centre_ticks(rom_short_pulse);

rom_block_event report_lost(rom_block_reader *r, uint32_t from, uint32_t to)
{
    if (!r->in_copy || to <= countdown_bytes)
        return rom_block_none;
    if (from < countdown_bytes)
        from = countdown_bytes;
    r->index = from - countdown_bytes;
    r->count = to - from;
    return rom_block_bytes_lost;
}

// A long pulse where none was due: it opens the next marker. The bytes since
// the last clean one are placed by time; those between the damaged byte and
// this marker were lost.
rom_block_event marker_after_damage(rom_block_reader *r, uint64_t tick)
{
    const uint64_t elapsed = tick - r->anchor_tick;
    const uint32_t here = r->anchor_index + static_cast<uint32_t>((elapsed + r->byte_ticks / 2) / r->byte_ticks);
    const uint32_t damaged = r->byte_index;
    r->state = marker_second;
    r->byte_tick = tick;
    if (here <= damaged)
        return rom_block_none; // still the damaged byte's place: read it again from here
    r->byte_index = here;
    if (!r->in_copy && here >= countdown_bytes) {
        r->state = rom_seeking; // no countdown came: not a block of this format
        return rom_block_none;
    }
    return report_lost(r, damaged, here);
}

rom_block_event end_copy(rom_block_reader *r, bool end_mark)
{
    const bool was_in_copy = r->in_copy;
    r->in_copy = false;
    if (!was_in_copy)
        return rom_block_none;
    r->end_mark = end_mark;
    r->index = r->byte_index > countdown_bytes ? r->byte_index - countdown_bytes : 0;
    return rom_block_copy_ended;
}

// The first clean countdown byte says which copy this is and where in the
// countdown the reader stands.
rom_block_event recognise_copy(rom_block_reader *r, unsigned char value)
{
    uint32_t position;
    if (value <= first_copy_countdown && value > first_copy_countdown - countdown_bytes) {
        r->copy = rom_first_copy;
        position = first_copy_countdown - value;
    } else if (value <= repeated_copy_countdown && value > repeated_copy_countdown - countdown_bytes) {
        r->copy = rom_repeated_copy;
        position = repeated_copy_countdown - value;
    } else {
        r->state = rom_seeking; // a clean byte that is no countdown: not this format
        return rom_block_none;
    }
    r->in_copy = true;
    r->byte_index = position;
    r->anchor_index = position;
    const uint64_t before = uint64_t{position} * r->byte_ticks;
    r->copy_tick = r->byte_tick > before ? r->byte_tick - before : 0;
    if (r->pilot_tick > r->copy_tick)
        r->pilot_tick = r->copy_tick; // no pilot seen right before this copy
    return rom_block_copy_began;
}

rom_block_event complete_byte(rom_block_reader *r, unsigned char value, bool clean, uint64_t end_tick)
{
    rom_block_event event = rom_block_none;
    if (clean) {
        r->byte_ticks = static_cast<uint32_t>(end_tick - r->byte_tick);
        r->anchor_index = r->byte_index;
        r->anchor_tick = r->byte_tick;
    }
    if (r->in_copy) {
        if (r->byte_index >= countdown_bytes) {
            r->index = r->byte_index - countdown_bytes;
            r->value = value;
            r->clean = clean;
            r->end_tick = end_tick;
            event = rom_block_byte;
        }
    } else if (clean) {
        event = recognise_copy(r, value);
        if (r->state == rom_seeking)
            return event;
    } else if (r->byte_index + 1 >= countdown_bytes) {
        r->state = rom_seeking; // the countdown is over and none of it was clean
        return event;
    }
    ++r->byte_index;
    r->state = next_marker;
    return event;
}

// The second pulse of a pair that the reading loop leaves here: of a data
// pair that is no bit, or of the parity pair.
rom_block_event read_pair_end(rom_block_reader *r, uint8_t pulse_class, unsigned short sample, uint64_t tick)
{
    const unsigned bit = bit_of_pair[r->first_of_pair * 8u + pulse_class];
    ++r->pulse_in_byte;
    if (bit == rom_no_bit) {
        r->state = hunting;
        return rom_block_none;
    }
    // The parity pair: the nine bits hold an odd number of ones.
    return complete_byte(r, r->bits, (r->ones ^ bit) == 1, tick + sample);
}

// What the reading loop leaves here: block starts and ends, the last pulse
// of every byte, and damage.
rom_block_event step(rom_block_reader *r, uint8_t pulse_class, unsigned short sample, uint64_t tick)
{
    if ((pulse_class & short_class) && r->short_run == pilot_short_pulses && r->state != rom_in_pilot) {
        r->state = rom_in_pilot;
        r->pilot_tick = r->run_tick;
        return end_copy(r, false);
    }
    if (r->state == rom_in_pilot) {
        if (pulse_class & long_class) {
            r->byte_index = 0;
            r->byte_tick = tick;
            r->anchor_index = 0;
            r->anchor_tick = tick;
            r->state = marker_second;
        } else {
            r->state = rom_seeking;
        }
        return rom_block_none;
    }
    if (r->state == rom_seeking)
        return rom_block_none;
    if (pulse_class & long_class)
        return marker_after_damage(r, tick); // where none was due: a pulse was lost, or a marker broken
    if (r->state == marker_second && (pulse_class & short_class)) {
        r->state = rom_seeking;
        return end_copy(r, true);
    }
    if (r->state == bit_pairs)
        return read_pair_end(r, pulse_class, sample, tick);
    r->state = hunting; // a broken marker
    return rom_block_none;
}

void save_progress(rom_block_reader *r, unsigned state, unsigned pulse_in_byte, unsigned first_of_pair,
                   unsigned bits, unsigned ones, uint32_t short_run, uint64_t run_tick)
{
    r->run_tick = run_tick;
    r->state = static_cast<uint8_t>(state);
    r->pulse_in_byte = static_cast<uint8_t>(pulse_in_byte);
    r->first_of_pair = static_cast<uint8_t>(first_of_pair);
    r->bits = static_cast<uint8_t>(bits);
    r->ones = static_cast<uint8_t>(ones);
    r->short_run = short_run;
}

}  // namespace

void rom_block_reader_init(rom_block_reader *reader)
{
    *reader = rom_block_reader{};
    reader->state = rom_seeking;
    reader->byte_ticks = nominal_byte_ticks;
}

uint64_t rom_block_reader_read(rom_block_reader *r, const unsigned short *samples, size_t count, uint64_t tick,
                               rom_block_take take, void *context)
{
    // The progress through an undamaged byte stays in registers; step() and
    // the next call find it in the reader. The undamaged path is read here,
    // the rest in step().
    unsigned state = r->state, pulse_in_byte = r->pulse_in_byte, first_of_pair = r->first_of_pair;
    unsigned bits = r->bits, ones = r->ones;
    uint32_t short_run = r->short_run;
    uint64_t run_tick = r->run_tick;
    for (size_t i = 0; i < count; tick += samples[i], ++i) {
        const unsigned short sample = samples[i];
        // Longer samples all take pulse byte 255, which is in no class.
        const unsigned unaliased = sample < tape_first_aliasing_sample ? sample : tape_first_aliasing_sample - 1;
        const uint8_t pulse_class = pulse_classes[unaliased / tape_ticks_per_pulse_unit];
        const uint32_t is_short = pulse_class & short_class;
        // No branches: shorts come at random inside bytes and on noise (the
        // run's start is selected through a mask, which no compiler turns
        // back into a branch).
        short_run = (short_run + 1) & (0u - is_short);
        const uint64_t run_begins = 0 - uint64_t{short_run == 1};
        run_tick = (tick & run_begins) | (run_tick & ~run_begins);
        switch (state) {
        case rom_seeking:
            if (short_run != pilot_short_pulses)
                continue;
            break;
        case rom_in_pilot:
            if (is_short)
                continue;
            break;
        case marker_second:
            if (pulse_class & medium_class) {
                pulse_in_byte = 0;
                bits = 0;
                ones = 0;
                state = bit_pairs;
                continue;
            }
            break;
        case bit_pairs:
            if (!(pulse_class & long_class)) {
                if ((pulse_in_byte & 1) == 0) {
                    first_of_pair = pulse_class;
                    ++pulse_in_byte;
                    continue;
                }
                const unsigned bit = bit_of_pair[first_of_pair * 8u + pulse_class];
                if (bit != rom_no_bit && pulse_in_byte < data_bit_pulses) {
                    bits |= bit << (pulse_in_byte / 2);
                    ones ^= bit;
                    ++pulse_in_byte;
                    continue;
                }
            }
            break;
        case next_marker:
            if (pulse_class & long_class) {
                r->byte_tick = tick;
                state = marker_second;
                continue;
            }
            break;
        }
        save_progress(r, state, pulse_in_byte, first_of_pair, bits, ones, short_run, run_tick);
        const rom_block_event event = step(r, pulse_class, sample, tick);
        state = r->state, pulse_in_byte = r->pulse_in_byte, first_of_pair = r->first_of_pair;
        bits = r->bits, ones = r->ones;
        if (event != rom_block_none)
            take(context, event);
    }
    save_progress(r, state, pulse_in_byte, first_of_pair, bits, ones, short_run, run_tick);
    return tick;
}
