#include "rom_blocks.h"

namespace {

constexpr uint32_t countdown_bytes = 9;
constexpr unsigned char first_copy_countdown = 0x89;
constexpr unsigned char repeated_copy_countdown = 0x09;

constexpr uint32_t centre_ticks(pulse_window window)
{
    return (window.first + window.width / 2u) * 8u; // 8 ticks per pulse-byte unit
}

// One long, ten medium and nine short pulses: the length of a byte until one
// has been timed.
constexpr uint32_t nominal_byte_ticks =
    centre_ticks(rom_long_pulse) + 10 * centre_ticks(rom_medium_pulse) + 9 * centre_ticks(rom_short_pulse);

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
    r->state = rom_reader_marker_second;
    r->byte_tick = tick;
    if (here <= damaged)
        return rom_block_none; // still the damaged byte's place: read it again from here
    r->byte_index = here;
    if (!r->in_copy && here >= countdown_bytes) {
        r->state = rom_reader_seeking; // no countdown came: not a block of this format
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
        r->state = rom_reader_seeking; // a clean byte that is no countdown: not this format
        return rom_block_none;
    }
    r->in_copy = true;
    r->byte_index = position;
    r->anchor_index = position;
    const uint64_t before = uint64_t{position} * r->byte_ticks;
    r->copy_tick = r->byte_tick > before ? r->byte_tick - before : 0;
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
            event = rom_block_byte;
        }
    } else if (clean) {
        event = recognise_copy(r, value);
        if (r->state == rom_reader_seeking)
            return event;
    } else if (r->byte_index + 1 >= countdown_bytes) {
        r->state = rom_reader_seeking; // the countdown is over and none of it was clean
        return event;
    }
    ++r->byte_index;
    r->state = rom_reader_next_marker;
    return event;
}

// The second pulse of a pair that rom_block_reader_feed leaves here: of a data
// pair that is no bit, or of the parity pair.
rom_block_event read_pair_end(rom_block_reader *r, uint8_t pulse_class, unsigned short sample, uint64_t tick)
{
    const unsigned bit = rom_bit_of_pair[r->first_of_pair * 8u + pulse_class];
    ++r->pulse_in_byte;
    if (bit == rom_no_bit) {
        r->state = rom_reader_hunting;
        return rom_block_none;
    }
    // The parity pair: the nine bits hold an odd number of ones.
    return complete_byte(r, r->bits, (r->ones ^ bit) == 1, tick + sample);
}

}  // namespace

void rom_block_reader_init(rom_block_reader *reader)
{
    *reader = rom_block_reader{};
    reader->state = rom_reader_seeking;
    reader->byte_ticks = nominal_byte_ticks;
}

// What rom_block_reader_feed leaves here: block starts and ends, the last
// pulse of every byte, and damage.
rom_block_event rom_block_reader_step(rom_block_reader *r, uint8_t pulse_class, unsigned short sample, uint64_t tick)
{
    if ((pulse_class & rom_short_class) && r->short_run == rom_pilot_short_pulses && r->state != rom_reader_in_pilot) {
        r->state = rom_reader_in_pilot;
        return end_copy(r, false);
    }
    if (r->state == rom_reader_in_pilot) {
        if (pulse_class & rom_long_class) {
            r->byte_index = 0;
            r->byte_tick = tick;
            r->anchor_index = 0;
            r->anchor_tick = tick;
            r->state = rom_reader_marker_second;
        } else {
            r->state = rom_reader_seeking;
        }
        return rom_block_none;
    }
    if (r->state == rom_reader_seeking)
        return rom_block_none;
    if (pulse_class & rom_long_class)
        return marker_after_damage(r, tick); // where none was due: a pulse was lost, or a marker broken
    if (r->state == rom_reader_marker_second && (pulse_class & rom_short_class)) {
        r->state = rom_reader_seeking;
        return end_copy(r, true);
    }
    if (r->state == rom_reader_bit_pairs)
        return read_pair_end(r, pulse_class, sample, tick);
    r->state = rom_reader_hunting; // a broken marker
    return rom_block_none;
}
