// The state machine shared by the name decoders of the two turbo formats.
//
// Both formats send one bit per pulse, most significant bit first, with no
// byte markers: a lead-in of 0x02 bytes gives the byte alignment, a sync train
// counts down to 0x01, then comes the header: an identifier byte, five bytes
// (start and end address, a spare byte) and the 16-byte file name. They differ
// only in their pulse windows and the length of the sync train, so each
// format's decoder is this machine with its own row of turbo_format.h and its
// own state (tt250.cpp, turrican.cpp). The machine is defined inline here so
// that each format's constants fold into its own decoder.
#pragma once

#include "tape/turbo_format.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// One decoder's state; zero-initialised means "searching for alignment".
struct turbo_state {
    uint32_t state;      // 0 alignment search, 1 lead-in, 2 sync train and header
    uint32_t byte_count; // whole bytes since alignment (1) or since the lead-in ended (2), from 1
    unsigned char bit_count;
    unsigned char byte;  // shift register, new bits enter at bit 0
    unsigned char name[16]; // name bytes read so far, handed over whole when complete
};

namespace turbo_machine {

inline constexpr unsigned bits_per_byte = 8;

enum turbo_decoder_state : uint32_t {
    seeking_alignment = 0, // shifting bits in until the register holds a lead-in byte
    in_lead_in = 1,        // counting lead-in bytes, aligned to byte boundaries
    in_sync_and_header = 2 // sync train, identifier, addresses, name
};

enum pulse_bit { bit_zero = 0, bit_one = 1, bit_invalid = 2 };

inline pulse_bit classify(const turbo_format &format, unsigned char pulse)
{
    if (pulse_in_window(pulse, format.one_pulse))
        return bit_one;
    if (pulse_in_window(pulse, format.zero_pulse))
        return bit_zero;
    return bit_invalid;
}

// Shifts the pulse's bit into the register. Returns 0 for an invalid pulse,
// which sends the decoder back to the search with the shift kept (a 0 bit).
inline int shift_in(const turbo_format &format, turbo_state &decoder, unsigned char pulse)
{
    const pulse_bit bit = classify(format, pulse);
    decoder.byte = static_cast<unsigned char>(decoder.byte << 1);
    if (bit == bit_invalid) {
        decoder.state = seeking_alignment;
        return 0;
    }
    decoder.byte |= static_cast<unsigned char>(bit);
    return 1;
}

// Judges the byte completed before this pulse. Returns 1 when it passes and
// the pulse is still to be read, 0 when the decoder has left the header
// (mismatch, or the name is complete, in which case *found is set).
inline int judge_completed_byte(const turbo_format &format, turbo_state &decoder, unsigned char *name,
                         int *found)
{
    // Bytes after the lead-in, from 1: the sync train, the identifier, the
    // bytes before the name (not examined), the name.
    const uint32_t count = decoder.byte_count;
    const uint32_t identifier_byte = format.sync_first + 1u;
    const uint32_t name_first_byte = identifier_byte + format.header_name_byte + 1u;
    const uint32_t name_last_byte = name_first_byte + format.name_length - 1u;

    if (count <= format.sync_first) {
        if (decoder.byte != format.sync_first + 1u - count) {
            decoder.state = seeking_alignment;
            return 0;
        }
    } else if (count == identifier_byte) {
        if (!turbo_is_header_id(format, decoder.byte)) {
            decoder.state = seeking_alignment;
            return 0;
        }
    } else if (count >= name_first_byte) {
        decoder.name[count - name_first_byte] = decoder.byte;
        if (count == name_last_byte) {
            std::memcpy(name, decoder.name, format.name_length);
            decoder.state = seeking_alignment;
            *found = 1;
            return 0;
        }
    }
    return 1;
}

// The alignment search ends when the register holds a lead-in byte: that
// byte is the lead-in's first.
inline void begin_lead_in_when_aligned(const turbo_format &format, turbo_state &decoder)
{
    if (decoder.byte != format.lead_in_byte)
        return;
    decoder.bit_count = 0;
    decoder.byte_count = 1;
    decoder.state = in_lead_in;
}

// The alignment search over samples[0..count), its shift register held in a
// local variable: nearly every pulse of a tape is spent here. Returns how many
// samples it took; it stops after the one that aligned the decoder.
// An alignment that the next pulse undoes (a pulse in neither window: the
// lead-in's first step shifts it in as a 0 and goes back to the search, as
// on noise nearly every alignment does) is passed over here, the decoder
// left as that step would leave it.
inline std::size_t seek_alignment(const turbo_format &format, turbo_state &decoder, const unsigned short *samples,
                                  std::size_t count)
{
    unsigned byte = decoder.byte;
    bool undone = false;
    std::size_t i = 0;
    while (i < count) {
        const unsigned one = pulse_in_window(pulse_of_sample(samples[i++]), format.one_pulse);
        byte = ((byte << 1) | one) & 0xFFu;
        if (byte != format.lead_in_byte)
            continue;
        if (i == count || classify(format, pulse_of_sample(samples[i])) != bit_invalid)
            break;
        byte = (byte << 1) & 0xFFu;
        ++i;
        undone = true;
    }
    decoder.byte = static_cast<unsigned char>(byte);
    if (undone) {
        decoder.bit_count = 0;
        decoder.byte_count = 1;
    }
    begin_lead_in_when_aligned(format, decoder);
    return i;
}

}  // namespace turbo_machine

// Feeds one pulse byte to the decoder whose constants are format and whose
// state is decoder, with the contract of rom_loader_find_name: returns 1
// exactly when this call completed a name and wrote it whole to name[0..15],
// else 0 with name untouched; restart nonzero starts a new search from this
// pulse's bit alone and returns 0. Constant work, no allocation, never blocks;
// the thread that owns decoder (for the specified decoders' one state, the
// capture worker only).
inline int turbo_loader_find_name(const turbo_format &format, turbo_state &decoder, unsigned char pulse,
                                  unsigned char *name, int restart)
{
    using namespace turbo_machine;
    if (restart) {
        decoder.state = seeking_alignment;
        decoder.byte = classify(format, pulse) == bit_one ? 1 : 0;
        return 0;
    }

    switch (decoder.state) {
    case seeking_alignment:
        decoder.byte = static_cast<unsigned char>(decoder.byte << 1);
        if (classify(format, pulse) == bit_one)
            decoder.byte |= 1;
        begin_lead_in_when_aligned(format, decoder);
        return 0;

    case in_lead_in:
        if (!shift_in(format, decoder, pulse))
            return 0;
        if (++decoder.bit_count < bits_per_byte)
            return 0;
        decoder.bit_count = 0;
        ++decoder.byte_count;
        if (decoder.byte == format.lead_in_byte)
            return 0;
        // The count includes the byte that ended the lead-in.
        if (decoder.byte_count - 1 < format.lead_in_bytes_min) {
            decoder.state = seeking_alignment;
        } else {
            decoder.byte_count = 1;
            decoder.state = in_sync_and_header;
        }
        return 0;

    case in_sync_and_header: {
        if (decoder.bit_count == 0) {
            int found = 0;
            if (!judge_completed_byte(format, decoder, name, &found))
                return found;
        }
        if (!shift_in(format, decoder, pulse))
            return 0;
        if (++decoder.bit_count == bits_per_byte) {
            decoder.bit_count = 0;
            ++decoder.byte_count;
        }
        return 0;
    }
    }
    return 0;
}

// Feeds the pulse bytes of samples[0..count) in turn, without restart, and
// stops at the first that completes a name: returns its index + 1, or 0 when
// none did (the contract of rom_loader_scan).
inline std::size_t turbo_loader_scan(const turbo_format &format, turbo_state &decoder, const unsigned short *samples,
                                     std::size_t count, unsigned char *name)
{
    std::size_t i = 0;
    while (i < count) {
        if (decoder.state == turbo_machine::seeking_alignment)
            i += turbo_machine::seek_alignment(format, decoder, samples + i, count - i);
        else if (turbo_loader_find_name(format, decoder, pulse_of_sample(samples[i++]), name, 0))
            return i;
    }
    return 0;
}
