#include "tape_synth.h"

#include "tape/loader_encoder.h"
#include "tape/loader_table.h"

#include <algorithm>
#include <utility>

namespace {

constexpr unsigned longest_synth_sample = 65535;

// xorshift32: small, deterministic, and good enough to scatter pulses.
uint32_t next_random(tape_synth *synth)
{
    uint32_t x = synth->random_state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    synth->random_state = x;
    return x;
}

int jitter(tape_synth *synth)
{
    if (synth->jitter_ticks <= 0)
        return 0;
    const uint32_t span = 2u * static_cast<uint32_t>(synth->jitter_ticks) + 1u;
    return static_cast<int>(next_random(synth) % span) - synth->jitter_ticks;
}

unsigned rom_ticks(rom_pulse pulse)
{
    switch (pulse) {
    case rom_pulse_short:
        return tape_rom_short_ticks;
    case rom_pulse_medium:
        return tape_rom_medium_ticks;
    case rom_pulse_long:
        break;
    }
    return tape_rom_long_ticks;
}

// The core's encoder with the synthesizer's pulse lengths and the damage
// asked for each copy.
class synth_rom_encoder : public rom_encoder {
public:
    synth_rom_encoder(tape_synth *synth, const tape_rom_block_damage &damage) : synth_(synth), damage_(damage) {}

    void pulse(rom_pulse pulse) override { tape_synth_pulse(synth_, rom_ticks(pulse)); }

    bool begin_copy(unsigned char countdown_first) override
    {
        copy_ = countdown_first == tape_rom_first_copy ? &damage_.first : &damage_.repeated;
        return !copy_->missing;
    }

    bool payload_byte(size_t index, unsigned char value) override
    {
        if (index == copy_->bytes)
            return false;
        tape_rom_fault fault = tape_rom_intact;
        for (const tape_rom_byte_damage &at : copy_->faults)
            if (at.byte == index)
                fault = at.fault;
        tape_rom_byte(synth_, value, fault);
        return true;
    }

private:
    tape_synth *synth_;
    const tape_rom_block_damage &damage_;
    const tape_rom_copy_damage *copy_ = &damage_.first;
};

// A pilot-byte row's encoder writing its 0 and 1 pulses as the ticks given.
class synth_pilot_encoder : public pilot_encoder {
public:
    synth_pilot_encoder(tape_synth *synth, const pilot_format &format, unsigned zero_ticks, unsigned one_ticks)
        : pilot_encoder(format), synth_(synth), zero_ticks_(zero_ticks), one_ticks_(one_ticks) {}

    // The row's nominal pulses.
    synth_pilot_encoder(tape_synth *synth, const pilot_format &format)
        : synth_pilot_encoder(synth, format, pilot_ticks_of_units(format.zero_units),
                              pilot_ticks_of_units(format.one_units)) {}

    // A test format's window centres.
    synth_pilot_encoder(tape_synth *synth, const tape_turbo_format &format)
        : synth_pilot_encoder(synth, format.row, format.zero_ticks, format.one_ticks) {}

    void pulse(unsigned bit) override { tape_synth_pulse(synth_, bit ? one_ticks_ : zero_ticks_); }

private:
    tape_synth *synth_;
    unsigned zero_ticks_, one_ticks_;
};

class synth_novaload_encoder : public novaload_encoder {
public:
    explicit synth_novaload_encoder(tape_synth *synth) : synth_(synth) {}

    void pulse(unsigned bit) override
    {
        tape_synth_pulse(synth_, pilot_ticks_of_units(bit ? novaload_facts.one_units : novaload_facts.zero_units));
    }

private:
    tape_synth *synth_;
};

}  // namespace

void tape_loader_file(tape_synth *synth, tape_loader loader, const std::array<unsigned char, 16> &name,
                      unsigned start, const unsigned char *data, size_t length)
{
    const pilot_format *row = tape_loader_pilot_format(loader);
    const tape_loader_lengths written =
        row ? tape_loader_lengths{row->pilot_bytes_written, 0}
            : tape_loader_lengths{novaload_facts.pilot_pulses_written, novaload_facts.trailer_pulses_written};
    tape_loader_file(synth, loader, name, start, data, length, written);
}

void tape_loader_file(tape_synth *synth, tape_loader loader, const std::array<unsigned char, 16> &name,
                      unsigned start, const unsigned char *data, size_t length, const tape_loader_lengths &lengths)
{
    if (const pilot_format *row = tape_loader_pilot_format(loader)) {
        synth_pilot_encoder(synth, *row).file(start, name, data, length, lengths.pilot);
        return;
    }
    synth_novaload_encoder encoder(synth);
    if (loader == tape_loader_novaload) {
        size_t name_length = name.size();
        while (name_length > 0 && name[name_length - 1] == 0x20)
            --name_length;
        encoder.file(std::vector<unsigned char>(name.begin(), name.begin() + long(name_length)), start, data,
                     length, lengths.pilot, lengths.trailer);
        return;
    }
    encoder.special({{start >> 8, std::vector<unsigned char>(data, data + length)}}, lengths.pilot,
                    lengths.trailer);
}

const tape_turbo_format tape_tt250{pulse_window_centre_ticks(turbo_zero_window(tt250_format)),
                                   pulse_window_centre_ticks(tt250_format.one_pulse), tt250_pilot_format};
const tape_turbo_format tape_turrican{pulse_window_centre_ticks(turbo_zero_window(turrican_format)),
                                      pulse_window_centre_ticks(turrican_format.one_pulse), turrican_pilot_format};

void tape_synth_init(tape_synth *synth, int offset_ticks, int jitter_ticks, uint32_t seed)
{
    synth->samples.clear();
    synth->offset_ticks = offset_ticks;
    synth->jitter_ticks = jitter_ticks;
    synth->random_state = seed != 0 ? seed : 1; // xorshift never leaves 0
}

void tape_synth_pulse(tape_synth *synth, unsigned ticks)
{
    const long moved = static_cast<long>(ticks) + synth->offset_ticks + jitter(synth);
    synth->samples.push_back(static_cast<unsigned short>(std::clamp<long>(moved, 1, longest_synth_sample)));
}

void tape_synth_sample(tape_synth *synth, unsigned short sample)
{
    synth->samples.push_back(sample);
}

void tape_synth_gap(tape_synth *synth, unsigned ticks)
{
    synth->samples.push_back(static_cast<unsigned short>(std::min(ticks, longest_synth_sample)));
}

std::array<unsigned char, 16> tape_name_field(const char *text, unsigned char pad)
{
    std::array<unsigned char, 16> field;
    field.fill(pad);
    for (size_t i = 0; i < field.size() && text[i] != 0; ++i)
        field[i] = static_cast<unsigned char>(text[i]);
    return field;
}

// ---- ROM loader -------------------------------------------------------------

void tape_rom_pilot(tape_synth *synth, unsigned pulses)
{
    synth_rom_encoder(synth, {}).pilot(pulses);
}

void tape_rom_byte(tape_synth *synth, unsigned char byte, tape_rom_fault fault)
{
    std::array<rom_pulse, rom_byte_pulses> pulses = rom_byte_pulse_classes(byte);
    if (fault == tape_rom_broken_marker)
        pulses[0] = rom_pulse_medium;
    if (fault == tape_rom_broken_pair)
        pulses[2] = pulses[3] = rom_pulse_short;
    if (fault == tape_rom_flipped_bit)
        std::swap(pulses[2], pulses[3]);
    for (size_t i = 0; i < pulses.size(); ++i)
        if (fault != tape_rom_lost_pulse || i != 6)
            tape_synth_pulse(synth, rom_ticks(pulses[i]));
}

void tape_rom_end_marker(tape_synth *synth)
{
    synth_rom_encoder(synth, {}).end_marker();
}

void tape_rom_copy(tape_synth *synth, unsigned pilot, unsigned char countdown_first,
                   const unsigned char *payload, size_t length, const tape_rom_copy_damage &damage)
{
    tape_rom_block_damage block;
    (countdown_first == tape_rom_first_copy ? block.first : block.repeated) = damage;
    synth_rom_encoder(synth, block).copy(pilot, countdown_first, payload, length);
}

void tape_rom_block(tape_synth *synth, unsigned pilot, const unsigned char *payload, size_t length,
                    const tape_rom_block_damage &damage)
{
    synth_rom_encoder(synth, damage).block(pilot, payload, length, tape_rom_repeat_pilot, tape_rom_trailer);
}

std::vector<unsigned char> tape_rom_header_payload(unsigned char type, unsigned start, unsigned end,
                                                   const std::array<unsigned char, 16> &name)
{
    return rom_header_payload(type, start, end, name);
}

void tape_rom_header(tape_synth *synth, unsigned pilot, unsigned char type, unsigned start,
                     unsigned end, const std::array<unsigned char, 16> &name)
{
    const std::vector<unsigned char> payload = rom_header_payload(type, start, end, name);
    tape_rom_block(synth, pilot, payload.data(), payload.size());
}

void tape_rom_program(tape_synth *synth, const std::array<unsigned char, 16> &name, unsigned start,
                      const unsigned char *data, size_t length, const tape_rom_block_damage &header_damage,
                      const tape_rom_block_damage &data_damage)
{
    const std::vector<unsigned char> header =
        rom_header_payload(1, start, static_cast<unsigned>(start + length), name);
    tape_rom_block(synth, tape_rom_header_pilot, header.data(), header.size(), header_damage);
    tape_synth_gap(synth, longest_synth_sample);
    tape_rom_block(synth, tape_rom_data_pilot, data, length, data_damage);
}

// ---- Turbo Tape 250 and the Turrican loader ---------------------------------

void tape_turbo_byte(tape_synth *synth, const tape_turbo_format &format, unsigned char byte)
{
    synth_pilot_encoder(synth, format).write_byte(byte);
}

void tape_turbo_lead_in_and_sync(tape_synth *synth, const tape_turbo_format &format, unsigned bytes)
{
    synth_pilot_encoder(synth, format).pilot_and_sync(bytes);
}

void tape_turbo_header(tape_synth *synth, const tape_turbo_format &format, unsigned lead_in,
                       unsigned char id, unsigned start, unsigned end,
                       const std::array<unsigned char, 16> &name)
{
    synth_pilot_encoder(synth, format).header_block(lead_in, id, pilot_header(format.row, start, end, name));
}

void tape_turbo_data(tape_synth *synth, const tape_turbo_format &format, unsigned lead_in,
                     const unsigned char *data, size_t length)
{
    synth_pilot_encoder(synth, format).data_block(lead_in, data, length);
}
