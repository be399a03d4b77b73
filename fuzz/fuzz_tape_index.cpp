// The tape index fed tapes built from pieces (pilots, whole block copies,
// single bytes clean or damaged, end marks, turbo headers, Turbo Tape 250
// data blocks clean or damaged, any pulse), built with AddressSanitizer and
// UndefinedBehaviorSanitizer.
//
// Invariants of the record stream, whatever the tape:
// - a new file takes the next sequence number; its first record says
//   "reading..." (built-in format, Turbo Tape 250) or "not checked"
//   (Turrican loader);
// - a later record is the single judgement of a file that was reading: good,
//   repaired (built-in format only), bad or cut short;
// - a program comes only with good or repaired; a Turbo Tape 250 program is
//   exactly as long as a header on the tape said and is the data written,
//   never a block whose checksum or pulses were damaged;
// - only one file of each of the two formats is read at a time;
// - a header begins on the tape before its record arrives;
// - after the finish no file is left reading;
// - the tape health figures of every record and the live ones are finite,
//   the spread not negative, the speed within the range a measured pilot
//   can have.
//
// Input: records of two bytes, an operation and its argument (see piece()).
#include "tape/name_finder.h"
#include "tape/rom.h"
#include "tape/tape_health.h"
#include "tape/tape_index.h"
#include "tape_synth.h"
#include "tape/tt250.h"
#include "tape/turrican.h"

#include "fuzz_check.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace {

// Keeps an input quick: a few blocks and a header's pilot.
const size_t samples_per_input_max = 200000;

struct file_state {
    tape_loader loader;
    tape_verdict verdict;
};

struct checker {
    std::map<uint32_t, file_state> files;
    std::set<uint32_t> claimed_lengths; // end - start of every header written
    uint32_t last_sequence = 0;
    uint64_t now = 0; // where the sample being fed begins
};

void check(bool holds, const char *what)
{
    fuzz_check(holds, "tape_index", what);
}

const unsigned char demo_program[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0, 0x55, 0xAA};

std::vector<unsigned char> demo_data(size_t length)
{
    std::vector<unsigned char> data(length);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = demo_program[i % sizeof demo_program];
    return data;
}

bool is_judgement(tape_loader loader, tape_verdict verdict)
{
    return verdict == tape_verdict_good || verdict == tape_verdict_bad || verdict == tape_verdict_cut_short ||
           (verdict == tape_verdict_repaired && loader == tape_loader_rom);
}

void check_program(const checker *c, const tape_file_event *event)
{
    if (!event->program) {
        check(event->program_length == 0, "a length without a program");
        return;
    }
    check(event->verdict == tape_verdict_good || event->verdict == tape_verdict_repaired,
          "a program kept from a file that did not read back");
    // Built-in-format headers can also be made byte by byte, with any
    // addresses; Turbo Tape 250 ones only whole, by the synthesizer.
    if (event->loader != tape_loader_tt250)
        return;
    check(c->claimed_lengths.count(event->program_length) == 1, "a program's length is no header's");
    check(std::vector<unsigned char>(event->program, event->program + event->program_length) ==
              demo_data(event->program_length),
          "a Turbo Tape 250 program is not the data written");
}

// Measured pulses lie in a decoder's window, which reaches less than half
// their nominal length either way.
void check_health(const tape_health_figures &figures)
{
    if (figures.pulses == 0)
        return;
    check(std::isfinite(figures.speed_percent) && std::fabs(figures.speed_percent) < 50, "a speed out of range");
    check(std::isfinite(figures.spread_percent) && figures.spread_percent >= 0 && figures.spread_percent < 50,
          "a spread out of range");
    check(std::isfinite(figures.margin), "a margin that is not a number");
}

void take(void *context, const tape_file_event *event)
{
    checker *c = static_cast<checker *>(context);
    check_health(event->health);
    check(event->tick <= c->now, "a header is placed after the sample that reported it");
    check(event->name[16] == 0, "a name is not terminated");
    auto known = c->files.find(event->sequence);
    if (known == c->files.end()) {
        check(event->sequence == c->last_sequence + 1, "a new file skips or repeats a sequence number");
        c->last_sequence = event->sequence;
        if (event->loader != tape_loader_turrican) {
            check(event->verdict == tape_verdict_reading, "a file is not listed as reading");
            for (const auto &[sequence, file] : c->files)
                check(file.loader != event->loader || file.verdict != tape_verdict_reading,
                      "two files of one format are read at once");
        } else {
            check(event->verdict == tape_verdict_not_checked, "a Turrican file is judged");
        }
        check(!event->program, "a program comes before its file is judged");
        c->files[event->sequence] = {event->loader, event->verdict};
        return;
    }
    check(known->second.verdict == tape_verdict_reading, "a file is judged twice");
    check(event->loader == known->second.loader, "a file changes its loader");
    check(is_judgement(event->loader, event->verdict), "a judgement is no verdict");
    check_program(c, event);
    known->second.verdict = event->verdict;
}


// One piece of tape from an operation and its argument.
void piece(checker *c, tape_synth *synth, unsigned char op, unsigned char arg)
{
    const unsigned high = op >> 3;
    switch (op & 7) {
    case 0:
        tape_rom_pilot(synth, (arg + 1u) * (high + 1u) * 4u);
        return;
    case 1:
        tape_rom_byte(synth, arg);
        return;
    case 2:
        tape_rom_byte(synth, arg, static_cast<tape_rom_fault>(1 + high % 4));
        return;
    case 3:
        tape_rom_end_marker(synth);
        return;
    case 4:
        tape_synth_sample(synth, static_cast<unsigned short>(arg * 8u + (high & 7u) + (high >> 3) * 2048u));
        return;
    case 5: { // a header copy: type, copy and data length chosen
        const unsigned length = (high & 15) * 13;
        c->claimed_lengths.insert(length);
        const std::vector<unsigned char> header =
            tape_rom_header_payload(arg & 7, 0x0801, 0x0801 + length, tape_name_field("FUZZ"));
        tape_rom_copy(synth, 40, arg & 8 ? tape_rom_repeated_copy : tape_rom_first_copy, header.data(),
                      header.size());
        return;
    }
    case 6: { // a data copy of length arg with the demo program's bytes over and over
        const std::vector<unsigned char> data = demo_data(arg);
        tape_rom_copy(synth, 40, high & 1 ? tape_rom_repeated_copy : tape_rom_first_copy, data.data(), data.size());
        return;
    }
    case 7: { // a turbo header of length arg; a Turbo Tape 250 one with its data, clean or damaged
        const tape_turbo_format &format = high & 1 ? tape_turrican : tape_tt250;
        c->claimed_lengths.insert(arg);
        tape_turbo_header(synth, format, 960, 1, 0x0801, 0x0801 + arg, tape_name_field("TURBO"));
        if (high & 1 || !(high & 2))
            return;
        const std::vector<unsigned char> data = demo_data(arg);
        const size_t block = synth->samples.size();
        tape_turbo_data(synth, format, 20 + (high >> 4), data.data(), data.size());
        const size_t data_end = synth->samples.size();
        if (high & 4) // the last pulse of the checksum turned, or a pulse in no window in the data
            synth->samples[data_end - 1] = synth->samples[data_end - 1] > 500 ? 424 : 648;
        if (high & 8)
            synth->samples[block + (data_end - block) * (high >> 4) / 16] = 150;
        return;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checker c;
    tape_synth synth;
    tape_synth_init(&synth);
    for (size_t at = 0; at + 1 < size && synth.samples.size() < samples_per_input_max; at += 2)
        piece(&c, &synth, data[at], data[at + 1]);

    unsigned char scratch[17];
    rom_loader_find_name(0, scratch, 1);
    tt250_loader_find_name(0, scratch, 1);
    turrican_loader_find_name(0, scratch, 1);

    name_finder finder;
    name_finder_init(&finder);
    static tape_index index;
    static tape_health health;
    tape_health_init(&health, 985248, 0);
    tape_index_init(&index, take, &c);
    index.health = &health;
    for (unsigned short sample : synth.samples) {
        tape_health_feed(&health, &sample, 1);
        tape_index_feed(&index, sample, name_finder_feed(&finder, sample) ? &finder : nullptr);
        c.now += sample;
    }
    tape_index_finish(&index);
    tape_health_figures live;
    tape_health_live(&health, &live);
    check_health(live);
    for (const auto &[sequence, file] : c.files)
        check(file.verdict != tape_verdict_reading, "a file is left reading after the finish");
    return 0;
}
