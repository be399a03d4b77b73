// The rescue fed two or three takes of one synthesized tape side (a ROM-loader
// program and a Turbo Tape 250 program), each with its own damage: pulses
// moved out of every window, the take begun late or cut short. Built with
// AddressSanitizer and UndefinedBehaviorSanitizer.
//
// Invariants, whatever the damage:
// - a program the rescue gives back (good, repaired or rescued) is exactly
//   the one written to the tape, at its load address: damage that leaves
//   pulses out of their windows is never taken for data;
// - with no damage at all both files come back good.
//
// Input: a header (program length, take count, a seed), then records of four
// bytes: take, position (24 bits scaled over the take), what is done there.
#include "fuzz_check.h"
#include "tape/tape_rescue.h"
#include "tape/tape_take.h"
#include "tape_synth.h"

#include <cstring>

namespace {

constexpr const char *target = "fuzz_rescue";

std::vector<unsigned short> side(const std::vector<unsigned char> &program)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, 40, 5);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("ROM"), 0x0801, program.data(), program.size());
    tape_synth_gap(&synth, 65535);
    tape_turbo_header(&synth, tape_tt250, tape_turbo_lead_in, 1, 0x1000, 0x1000 + unsigned(program.size()),
                      tape_name_field("TURBO"));
    tape_turbo_data(&synth, tape_tt250, tape_turbo_lead_in, program.data(), program.size());
    tape_synth_gap(&synth, 65535);
    return synth.samples;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t length = 1 + data[0] % 200;
    const unsigned take_count = 2 + data[1] % 2;
    std::vector<unsigned char> program(length);
    for (size_t i = 0; i < length; ++i)
        program[i] = static_cast<unsigned char>(i * 13 + data[2]);
    const std::vector<unsigned short> tape = side(program);
    std::vector<std::vector<unsigned short>> takes(take_count, tape);
    bool damaged = false;
    for (size_t at = 3; at + 4 <= size; at += 4) {
        std::vector<unsigned short> &take = takes[data[at] % take_count];
        if (take.empty())
            continue;
        const size_t position = size_t((uint64_t(data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3]) *
                                        take.size()) >> 24);
        damaged = true;
        switch (data[at] >> 6) {
        case 0: // a pulse in no window of either format
        case 1:
            take[position] = data[at] & 1 ? 100 : 3000;
            break;
        case 2: // the take begins late
            take.erase(take.begin(), take.begin() + long(position));
            break;
        default: // the take ends early
            take.resize(position);
            break;
        }
    }

    std::vector<std::vector<tape_take_file>> read;
    for (const std::vector<unsigned short> &take : takes) {
        auto reader = tape_take_reader_new();
        tape_take_reader_feed(reader.get(), take.data(), take.size());
        read.push_back(tape_take_reader_finish(reader.get()));
    }
    const std::vector<tape_rescued_file> files = tape_rescue(read, nullptr);
    unsigned good = 0;
    for (const tape_rescued_file &file : files) {
        if (file.outcome == tape_rescue_bad)
            continue;
        fuzz_check(file.program == program, target, "a program given back differs from the tape's");
        const bool rom = file.loader == tape_loader_rom;
        fuzz_check(file.load_address == (rom ? 0x0801 : 0x1000), target, "a program loads elsewhere");
        good += file.outcome == tape_rescue_good;
    }
    fuzz_check(damaged || (files.size() == 2 && good == 2), target, "an undamaged tape is not read good");
    return 0;
}
