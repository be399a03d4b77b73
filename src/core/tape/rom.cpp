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
constexpr uint32_t name_length = rom_name_length;
constexpr uint32_t name_last_byte = name_first_byte + name_length - 1;
static_assert(header_type_byte == 10 && name_first_byte == 15);

constexpr unsigned data_bits_per_byte = 8;

enum rom_state : uint32_t {
    seeking_pilot = 0,       // counting consecutive short pulses
    in_pilot = 1,            // pilot long enough; the first long pulse opens a block
    marker_second_half = 2,  // a byte marker's long pulse seen; its medium pulse is next
    data_bits = 3,           // eight bits of two pulses each, least significant bit first
    check_bit = 4,           // the check bit's two pulses, not evaluated
    marker_first_half = 5,   // the next marker's long pulse; the byte just read is judged
};

uint32_t state = seeking_pilot;
uint32_t pilot_pulses;
uint32_t byte_count;
unsigned char bit_halves;
unsigned char bit_count;
unsigned char p1;
unsigned char byte;
// The name is gathered here and handed over whole when it is complete: the
// caller's buffer may belong to a later capture than the header's first bytes.
unsigned char name_bytes[name_length];

int is_short(unsigned char pulse) { return pulse_in_window(pulse, rom_short_pulse); }
int is_medium(unsigned char pulse) { return pulse_in_window(pulse, rom_medium_pulse); }
int is_long(unsigned char pulse) { return pulse_in_window(pulse, rom_long_pulse); }

// Judges the byte completed before the long pulse that opens the next marker.
// Returns 1 when the name is complete.
int judge_completed_byte(unsigned char *name)
{
    if (byte_count <= rom_countdown_bytes) {
        state = byte == countdown_first_copy_base - byte_count ? marker_second_half : seeking_pilot;
        return 0;
    }
    if (byte_count == header_type_byte) {
        // A program: relocatable (1) or not (3).
        state = (byte & 0xFD) == rom_type_relocatable_program ? marker_second_half : seeking_pilot;
        return 0;
    }
    if (byte_count < name_first_byte) {
        state = marker_second_half;
        return 0;
    }
    name_bytes[byte_count - name_first_byte] = byte;
    if (byte_count < name_last_byte) {
        state = marker_second_half;
        return 0;
    }
    std::memcpy(name, name_bytes, name_length);
    state = seeking_pilot;
    return 1;
}

void read_second_half_of_bit(unsigned char pulse)
{
    bit_halves = 0;
    byte >>= 1;
    if (is_medium(p1) && is_short(pulse)) {
        byte |= 0x80;
    } else if (!(is_short(p1) && is_medium(pulse))) {
        state = seeking_pilot;
        return;
    }
    if (++bit_count == data_bits_per_byte) {
        bit_count = 0;
        state = check_bit;
    }
}

void enter_pilot_when_long_enough()
{
    if (pilot_pulses > rom_name_pilot_pulses)
        state = in_pilot;
}

// The pilot search over samples[0..count), its count held in a local
// variable: nearly every pulse of a tape is spent here. Returns how many
// samples it took; it stops after the one that made the pilot long enough.
std::size_t seek_pilot(const unsigned short *samples, std::size_t count)
{
    uint32_t run = pilot_pulses;
    std::size_t i = 0;
    while (i < count) {
        // No branch on the pulse: outside pilots, shorts come at random.
        run = (run + 1) & (0u - static_cast<uint32_t>(is_short(pulse_of_sample(samples[i++]))));
        if (run > rom_name_pilot_pulses)
            break;
    }
    pilot_pulses = run;
    enter_pilot_when_long_enough();
    return i;
}

// One pulse of the search; returns 1 when it completed a name.
inline int step(unsigned char pulse, unsigned char *name)
{
    switch (state) {
    case seeking_pilot:
        pilot_pulses = is_short(pulse) ? pilot_pulses + 1 : 0;
        enter_pilot_when_long_enough();
        return 0;

    case in_pilot:
        if (is_short(pulse)) {
            ++pilot_pulses;
            return 0;
        }
        pilot_pulses = 0;
        if (is_long(pulse)) {
            state = marker_second_half;
            byte_count = 0;
        } else {
            state = seeking_pilot;
        }
        return 0;

    case marker_second_half:
        if (is_medium(pulse)) {
            state = data_bits;
            bit_halves = 0;
            bit_count = 0;
        } else {
            state = seeking_pilot;
        }
        return 0;

    case data_bits:
        if (bit_halves == 0) {
            p1 = pulse;
            bit_halves = 1;
        } else {
            read_second_half_of_bit(pulse);
        }
        return 0;

    case check_bit:
        if (bit_halves == 0) {
            p1 = pulse;
            bit_halves = 1;
        } else {
            bit_halves = 0;
            ++byte_count;
            state = marker_first_half;
        }
        return 0;

    case marker_first_half:
        if (!is_long(pulse)) {
            state = seeking_pilot;
            return 0;
        }
        return judge_completed_byte(name);
    }
    return 0;
}

}  // namespace

int rom_loader_find_name(unsigned char pulse, unsigned char *name, int restart)
{
    if (restart) {
        state = seeking_pilot;
        pilot_pulses = is_short(pulse) ? 1 : 0;
        return 0;
    }
    return step(pulse, name);
}

std::size_t rom_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name)
{
    std::size_t i = 0;
    while (i < count) {
        if (state == seeking_pilot)
            i += seek_pilot(samples + i, count - i);
        else if (step(pulse_of_sample(samples[i++]), name))
            return i;
    }
    return 0;
}
