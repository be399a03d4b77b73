#include "tape/rom.h"

#include "tape/rom_format.h"

#include <cstdint>
#include <cstring>

namespace {

// Byte numbers within a block, counted from 1. The first copy of a block
// counts down 0x89..0x81; the repeated copy counts 0x09..0x01 and so never
// matches.
constexpr uint32_t countdown_first_copy_base = rom_first_countdown + 1u; // byte n must be base - n
constexpr uint32_t header_type_byte = rom_countdown_bytes + 1 + rom_header_type_byte;
constexpr uint32_t name_first_byte = rom_countdown_bytes + 1 + rom_header_name_byte;
constexpr uint32_t name_last_byte = name_first_byte + rom_name_length - 1;
static_assert(header_type_byte == 10 && name_first_byte == 15);

constexpr unsigned data_bits_per_byte = 8;

enum rom_state : uint32_t {
    seeking_pilot = 0,      // counting consecutive short pulses
    pilot_long_enough = 1,  // pilot long enough; the first long pulse opens a block
    marker_second_half = 2, // a byte marker's long pulse seen; its medium pulse is next
    data_bits = 3,          // eight bits of two pulses each, least significant bit first
    check_bit = 4,          // the check bit's two pulses, not evaluated
    marker_first_half = 5,  // the next marker's long pulse; the byte just read is judged
};

// The capture worker's decoder: one instance for the whole program.
rom_name_decoder worker_decoder;

int is_short(unsigned char pulse) { return pulse_in_window(pulse, rom_short_pulse); }
int is_medium(unsigned char pulse) { return pulse_in_window(pulse, rom_medium_pulse); }
int is_long(unsigned char pulse) { return pulse_in_window(pulse, rom_long_pulse); }

// Judges the byte completed before the long pulse that opens the next marker.
// Returns 1 when the name is complete.
int judge_completed_byte(rom_name_decoder &d, unsigned char *name)
{
    if (d.byte_count <= rom_countdown_bytes) {
        d.state = d.byte == countdown_first_copy_base - d.byte_count ? marker_second_half : seeking_pilot;
        return 0;
    }
    if (d.byte_count == header_type_byte) {
        // A program: relocatable (1) or not (3).
        d.state = (d.byte & 0xFD) == rom_type_relocatable_program ? marker_second_half : seeking_pilot;
        return 0;
    }
    if (d.byte_count < name_first_byte) {
        d.state = marker_second_half;
        return 0;
    }
    d.name_bytes[d.byte_count - name_first_byte] = d.byte;
    if (d.byte_count < name_last_byte) {
        d.state = marker_second_half;
        return 0;
    }
    std::memcpy(name, d.name_bytes, rom_name_length);
    d.state = seeking_pilot;
    return 1;
}

void read_second_half_of_bit(rom_name_decoder &d, unsigned char pulse)
{
    d.bit_halves = 0;
    d.byte >>= 1;
    if (is_medium(d.p1) && is_short(pulse)) {
        d.byte |= 0x80;
    } else if (!(is_short(d.p1) && is_medium(pulse))) {
        d.state = seeking_pilot;
        return;
    }
    if (++d.bit_count == data_bits_per_byte) {
        d.bit_count = 0;
        d.state = check_bit;
    }
}

void enter_pilot_when_long_enough(rom_name_decoder &d)
{
    if (d.pilot_pulses > rom_name_pilot_pulses)
        d.state = pilot_long_enough;
}

// The pilot search over samples[0..count), its count held in a local
// variable: nearly every pulse of a tape is spent here. Returns how many
// samples it took; it stops after the one that made the pilot long enough.
[[gnu::always_inline]] inline std::size_t seek_pilot(rom_name_decoder &d, const unsigned short *samples, std::size_t count)
{
    uint32_t run = d.pilot_pulses;
    std::size_t i = 0;
    while (i < count) {
        // No branch on the pulse: outside pilots, shorts come at random.
        run = (run + 1) & (0u - static_cast<uint32_t>(is_short(pulse_of_sample(samples[i++]))));
        if (run > rom_name_pilot_pulses)
            break;
    }
    d.pilot_pulses = run;
    enter_pilot_when_long_enough(d);
    return i;
}

// One pulse of the search; returns 1 when it completed a name.
[[gnu::always_inline]] inline int step(rom_name_decoder &d, unsigned char pulse, unsigned char *name)
{
    switch (d.state) {
    case seeking_pilot:
        d.pilot_pulses = is_short(pulse) ? d.pilot_pulses + 1 : 0;
        enter_pilot_when_long_enough(d);
        return 0;

    case pilot_long_enough:
        if (is_short(pulse)) {
            ++d.pilot_pulses;
            return 0;
        }
        d.pilot_pulses = 0;
        if (is_long(pulse)) {
            d.state = marker_second_half;
            d.byte_count = 0;
        } else {
            d.state = seeking_pilot;
        }
        return 0;

    case marker_second_half:
        if (is_medium(pulse)) {
            d.state = data_bits;
            d.bit_halves = 0;
            d.bit_count = 0;
        } else {
            d.state = seeking_pilot;
        }
        return 0;

    case data_bits:
        if (d.bit_halves == 0) {
            d.p1 = pulse;
            d.bit_halves = 1;
        } else {
            read_second_half_of_bit(d, pulse);
        }
        return 0;

    case check_bit:
        if (d.bit_halves == 0) {
            d.p1 = pulse;
            d.bit_halves = 1;
        } else {
            d.bit_halves = 0;
            ++d.byte_count;
            d.state = marker_first_half;
        }
        return 0;

    case marker_first_half:
        if (!is_long(pulse)) {
            d.state = seeking_pilot;
            return 0;
        }
        return judge_completed_byte(d, name);
    }
    return 0;
}

}  // namespace

namespace {

// Inlined into each caller, so that the capture worker's decoder is reached
// at its fixed address, as file-local variables would be.
[[gnu::always_inline]] inline int find_name(rom_name_decoder &d, unsigned char pulse, unsigned char *name, int restart)
{
    if (restart) {
        d.state = seeking_pilot;
        d.pilot_pulses = is_short(pulse) ? 1 : 0;
        return 0;
    }
    return step(d, pulse, name);
}

[[gnu::always_inline]] inline std::size_t scan(rom_name_decoder &d, const unsigned short *samples, std::size_t count,
                                               unsigned char *name)
{
    std::size_t i = 0;
    while (i < count) {
        if (d.state == seeking_pilot)
            i += seek_pilot(d, samples + i, count - i);
        else if (step(d, pulse_of_sample(samples[i++]), name))
            return i;
    }
    return 0;
}

}  // namespace

int rom_name_decoder_find_name(rom_name_decoder *decoder, unsigned char pulse, unsigned char *name, int restart)
{
    return find_name(*decoder, pulse, name, restart);
}

std::size_t rom_name_decoder_scan(rom_name_decoder *decoder, const unsigned short *samples, std::size_t count,
                                  unsigned char *name)
{
    return scan(*decoder, samples, count, name);
}

int rom_loader_find_name(unsigned char pulse, unsigned char *name, int restart)
{
    return find_name(worker_decoder, pulse, name, restart);
}

std::size_t rom_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name)
{
    return scan(worker_decoder, samples, count, name);
}
