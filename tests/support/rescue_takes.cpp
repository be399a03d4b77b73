#include "rescue_takes.h"

#include "tape/turbo_format.h"

namespace {

std::vector<unsigned char> program_of(size_t length, unsigned seed)
{
    std::vector<unsigned char> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>((i * 37 + seed * 11 + (i >> 3)) & 0xFF);
    return bytes;
}

const std::vector<unsigned char> stuck_program = program_of(120, 3);

}  // namespace

const std::vector<unsigned char> rescue_rom_program = program_of(300, 1);
const std::vector<unsigned char> rescue_turbo_program = program_of(400, 2);

tape_rom_block_damage rescue_both_copies_broken(size_t byte)
{
    tape_rom_block_damage damage;
    damage.first.faults = {{byte, tape_rom_broken_pair}};
    damage.repeated.faults = {{byte, tape_rom_flipped_bit}};
    return damage;
}

std::vector<unsigned short> rescue_take(const rescue_take_damage &damage, uint32_t seed, size_t skipped)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, 40, seed);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("ROM FILE"), 0x0801, rescue_rom_program.data(),
                     rescue_rom_program.size(), {}, rescue_both_copies_broken(damage.rom_byte));
    tape_synth_gap(&synth, 65535);
    tape_turbo_header(&synth, tape_tt250, tape_turbo_lead_in, 1, 0x1000,
                      0x1000 + unsigned(rescue_turbo_program.size()), tape_name_field("TURBO FILE"));
    const size_t data_start = synth.samples.size() + (tape_turbo_lead_in + tt250_format.sync_first + 1) * 8;
    tape_turbo_data(&synth, tape_tt250, tape_turbo_lead_in, rescue_turbo_program.data(),
                    rescue_turbo_program.size());
    synth.samples[data_start + damage.turbo_byte * 8 + 2] = 150; // far below the 0 window
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("STUCK"), 0x2000, stuck_program.data(), stuck_program.size(), {},
                     rescue_both_copies_broken(17));
    tape_synth_gap(&synth, 65535);
    return {synth.samples.begin() + long(skipped), synth.samples.end()};
}

