#include "tape/pilot_lanes.h"

#include "tape/pilot_blocks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint64_t every_lane = 0x0101010101010101ull;
constexpr uint64_t low_seven_bits = 0x7F * every_lane;
// Gathers bit 8n of a word into bit 56 + n.
constexpr uint64_t gather_lane_bits = 0x0102040810204080ull;

// The lanes of registers that equal their byte in pilots, as bits (bit n:
// lane n).
inline unsigned char lanes_equal(uint64_t registers, uint64_t pilots)
{
    // An equal lane is a zero byte of `differs`: its high bit stays clear
    // below, and only then.
    const uint64_t differs = registers ^ pilots;
    const uint64_t zero_lanes = ~(((differs & low_seven_bits) + low_seven_bits) | differs | low_seven_bits);
    return static_cast<unsigned char>(((zero_lanes >> 7) * gather_lane_bits) >> 56);
}

}  // namespace

void pilot_lanes_init(pilot_lanes *lanes)
{
    for (uint64_t &ones : lanes->ones)
        ones = 0;
    for (unsigned char &lanes_in_class : lanes->in_class)
        lanes_in_class = 0;
    // A lane without a reader stays 0, never 0xFF.
    lanes->pilots = ~uint64_t{0};
    lanes->registers = 0;
    lanes->samples = nullptr;
    lanes->count = 0;
    lanes->tick = 0;
    lanes->before = 0;
}

void pilot_lanes_add(pilot_lanes *lanes, unsigned lane, const pilot_block_reader *reader)
{
    const unsigned shift = 8 * lane;
    const pilot_format &format = *reader->format;
    for (unsigned pulse = 0; pulse < 256; ++pulse) {
        lanes->ones[pulse] &= ~(uint64_t{0xFF} << shift);
        if (reader->bit_of_pulse[pulse] == 1)
            lanes->ones[pulse] |= uint64_t{1} << shift;
        lanes->in_class[pulse] &= static_cast<unsigned char>(~(1u << lane));
        if (reader->bit_of_pulse[pulse] <= 1)
            lanes->in_class[pulse] |= static_cast<unsigned char>(1u << lane);
    }
    lanes->ones[256] &= ~(uint64_t{0xFF} << shift);
    lanes->in_class[256] &= static_cast<unsigned char>(~(1u << lane));
    lanes->pilots &= ~(uint64_t{0xFF} << shift);
    lanes->pilots |= uint64_t{pilot_lane_of_register(format.pilot_byte, format.lsb_first)} << shift;
    lanes->registers &= ~(uint64_t{0xFF} << shift);
}

void pilot_lanes_take(pilot_lanes *lanes, const unsigned short *samples, size_t count, uint64_t tick)
{
    lanes->samples = samples;
    lanes->count = count;
    lanes->tick = tick;
    lanes->before = lanes->registers;
    uint64_t registers = lanes->registers;
    const uint64_t pilots = lanes->pilots;
    for (size_t j = 0; j < count; ++j) {
        const unsigned short sample = samples[j];
        const unsigned pulse = (sample < tape_first_aliasing_sample ? sample : tape_first_aliasing_sample) >> 3;
        registers = ((registers & low_seven_bits) << 1) | lanes->ones[pulse];
        lanes->after[j] = registers;
        lanes->class_at[j] = lanes->in_class[pulse];
        tick += sample;
        lanes->tick_after[j] = tick;
    }
    lanes->registers = registers;
    lanes->class_at[count] = 0xFF;
    lanes->class_at[count + 1] = 0xFF;
    size_t j = 0;
#if defined(__SSE2__)
    // Two samples' lanes at a time, one compare and one mask of their bytes.
    const __m128i every_pilot = _mm_set1_epi64x(static_cast<long long>(pilots));
    for (; j + 2 <= count; j += 2) {
        const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lanes->after + j));
        const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(two, every_pilot)));
        lanes->pilot_at[j] = static_cast<unsigned char>(equal) & lanes->class_at[j + 1] & lanes->class_at[j + 2];
        lanes->pilot_at[j + 1] =
            static_cast<unsigned char>(equal >> 8) & lanes->class_at[j + 2] & lanes->class_at[j + 3];
    }
#endif
    for (; j < count; ++j)
        lanes->pilot_at[j] = lanes_equal(lanes->after[j], pilots) & lanes->class_at[j + 1] & lanes->class_at[j + 2];
    for (j = count; j < count + 8; ++j)
        lanes->pilot_at[j] = 0;
}
