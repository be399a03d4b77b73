// The tape index fed tapes built from pieces (pilots, whole block copies,
// single bytes clean or damaged, end marks, turbo headers, Turbo Tape 250
// data blocks clean or damaged, whole files of the other turbo loaders clean
// or damaged, any pulse), built with AddressSanitizer and
// UndefinedBehaviorSanitizer.
//
// Invariants of the record stream, whatever the tape:
// - a new file takes the next sequence number; its first record says
//   "reading...";
// - a later record is the single judgement of a file that was reading: good,
//   repaired (built-in format only), bad or cut short;
// - a program comes only with good or repaired; a Turbo Tape 250 program is
//   exactly as long as a header on the tape said and is the data written,
//   never a block whose checksum or pulses were damaged; any other turbo
//   loader's program is one written with that loader at its load address (a
//   Novaload Special run: a part of one);
// - only one file of each format is read at a time;
// - a header begins on the tape before its record arrives;
// - after the finish no file is left reading;
// - the tape health figures of every record and the live ones are finite,
//   the spread not negative, the speed within the range a measured pilot
//   can have.
//
// Input: records of two bytes, an operation and its argument (see pieces[]).
// The same bytes, read as pulse bytes, also go straight to a second index:
// its block readers see pulses no synthesizer would make.
//
// Pilots and lead-ins are at the shortest length their readers take, or
// within a few pulses of it, so an input is quick (about 100 and more a
// second) and the edges are where the fuzzer looks.
#include "tape/rom.h"
#include "tape/rom_format.h"
#include "tape/tape_health.h"
#include "tape/formats/novaload.h"
#include "tape/tape_index.h"
#include "tape_synth.h"
#include "tape/tt250.h"
#include "tape/turrican.h"

#include "fuzz_check.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace {

// Keeps an input quick: a few blocks, or two turbo headers with their lead-ins.
const size_t samples_per_input_max = 24000;

struct file_state {
    tape_loader loader;
    tape_verdict verdict;
};

struct written_program {
    tape_loader loader;
    uint16_t load_address;
    std::vector<unsigned char> bytes;
    bool operator<(const written_program &o) const
    {
        return std::tie(loader, load_address, bytes) < std::tie(o.loader, o.load_address, o.bytes);
    }
};

struct checker {
    std::map<uint32_t, file_state> files;
    std::set<written_program> written;  // the other turbo loaders' programs on the tape
    std::set<uint32_t> claimed_lengths; // end - start of every header written
    bool synthesized = true;            // false: raw pulses, whose programs nobody wrote
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
    // addresses; the turbo loaders' only whole, by the synthesizer.
    if (event->loader == tape_loader_rom || !c->synthesized)
        return;
    if (event->loader != tape_loader_tt250) {
        const written_program given{event->loader, event->load_address,
                                    {event->program, event->program + event->program_length}};
        if (event->loader != tape_loader_novaload_special) {
            check(c->written.count(given) == 1, "a turbo loader's program is none written with it");
            return;
        }
        // A Special chain whose page byte turned reads as runs: each one
        // that reads good is a part of what was written.
        bool part = false;
        for (const written_program &w : c->written)
            part = part || (w.loader == given.loader && w.load_address <= given.load_address &&
                            given.load_address + given.bytes.size() <= w.load_address + w.bytes.size() &&
                            std::equal(given.bytes.begin(), given.bytes.end(),
                                       w.bytes.begin() + (given.load_address - w.load_address)));
        check(part, "a Novaload Special program is no part of one written");
        return;
    }
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
        check(event->verdict == tape_verdict_reading, "a file is not listed as reading");
        for (const auto &[sequence, file] : c->files)
            check(file.loader != event->loader || file.verdict != tape_verdict_reading,
                  "two files of one format are read at once");
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


// A pilot of short pulses: at or next to the lengths the block reader and
// the name decoder take, or a multiple of 4 below 1024.
void rom_pilot(checker *, tape_synth *synth, unsigned high, unsigned char arg)
{
    static const unsigned edges[] = {rom_block_pilot_pulses, rom_name_pilot_pulses + 1};
    const unsigned pulses = high & 1 ? edges[high / 2 % std::size(edges)] + arg % 5 - 2 : (arg + 1u) * 4u;
    tape_rom_pilot(synth, pulses);
}

void rom_byte(checker *, tape_synth *synth, unsigned, unsigned char arg)
{
    tape_rom_byte(synth, arg);
}

void rom_damaged_byte(checker *, tape_synth *synth, unsigned high, unsigned char arg)
{
    tape_rom_byte(synth, arg, static_cast<tape_rom_fault>(1 + high % 4));
}

void rom_end_marker(checker *, tape_synth *synth, unsigned, unsigned char)
{
    tape_rom_end_marker(synth);
}

void any_pulse(checker *, tape_synth *synth, unsigned high, unsigned char arg)
{
    tape_synth_sample(synth, static_cast<unsigned short>(arg * 8u + (high & 7u) + (high >> 3) * 2048u));
}

// A header copy: type, copy and data length chosen.
void rom_header_copy(checker *c, tape_synth *synth, unsigned high, unsigned char arg)
{
    const unsigned length = (high & 15) * 13;
    c->claimed_lengths.insert(length);
    const std::vector<unsigned char> header =
        tape_rom_header_payload(arg & 7, 0x0801, 0x0801 + length, tape_name_field("FUZZ"));
    tape_rom_copy(synth, rom_block_pilot_pulses, arg & 8 ? tape_rom_repeated_copy : tape_rom_first_copy,
                  header.data(), header.size());
}

// A data copy of length arg with the demo program's bytes over and over.
void rom_data_copy(checker *, tape_synth *synth, unsigned high, unsigned char arg)
{
    const std::vector<unsigned char> data = demo_data(arg);
    tape_rom_copy(synth, rom_block_pilot_pulses, high & 1 ? tape_rom_repeated_copy : tape_rom_first_copy,
                  data.data(), data.size());
}

// A turbo header of length arg after the shortest lead-in its decoder takes;
// a Turbo Tape 250 one with its data, clean or damaged.
void turbo_file(checker *c, tape_synth *synth, unsigned high, unsigned char arg)
{
    const tape_turbo_format &format = high & 1 ? tape_turrican : tape_tt250;
    c->claimed_lengths.insert(arg);
    tape_turbo_header(synth, format, format.row.pilot_bytes_min, 1, 0x0801, 0x0801 + arg,
                      tape_name_field("TURBO"));
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
}

// A whole file of another turbo loader: high picks the loader and whether
// one pulse of its data (check bytes included) is damaged, arg its length
// and that pulse; the damage is a pulse far outside both classes (arg odd)
// or a bit turned. A header's bytes have no check of their own, so a bit
// turned there is no damage a reader could see.
void other_turbo_file(checker *c, tape_synth *synth, unsigned high, unsigned char arg)
{
    static const tape_loader loaders[] = {tape_loader_turrican, tape_loader_freeload, tape_loader_hitload,
                                          tape_loader_usgold,   tape_loader_microload, tape_loader_novaload,
                                          tape_loader_novaload_special};
    const tape_loader loader = loaders[high % std::size(loaders)];
    const bool special = loader == tape_loader_novaload_special;
    const size_t length = special ? 256u * (1 + arg % 3) : arg;
    const unsigned start = special ? 0x2000 : 0x0801 + arg;
    const std::vector<unsigned char> data = demo_data(length);
    c->written.insert({loader, uint16_t(start), data});
    tape_loader_file(synth, loader, tape_name_field("LOADER"), start, data.data(), data.size());
    if (high < std::size(loaders))
        return;
    const size_t trailer = loader == tape_loader_novaload || special ? novaload_facts.trailer_pulses_written : 0;
    const size_t data_end = synth->samples.size() - trailer - (special ? 8 : 0); // Special: before its closing page
    size_t data_pulses = (length + 1) * 8;
    if (loader == tape_loader_novaload)
        data_pulses = (length + (length + 255) / 256 + 1) * 8;
    else if (special)
        data_pulses = length / 256 * 258 * 8;
    unsigned short &pulse = synth->samples[data_end - 1 - (data_pulses - 1) * arg / 255];
    pulse = arg & 1 ? 3000 : static_cast<unsigned short>(pulse < 700 ? pulse + 500 : pulse - 500);
}

// The pieces a tape is built from. An operation byte picks the piece (op
// modulo their count) and hands it the rest (op divided by their count); a
// new format adds its pieces at the end (and fuzz/seeds.py its count).
using piece_maker = void (*)(checker *c, tape_synth *synth, unsigned high, unsigned char arg);
const piece_maker pieces[] = {rom_pilot,       rom_byte,        rom_damaged_byte, rom_end_marker,
                              any_pulse,       rom_header_copy, rom_data_copy,    turbo_file,
                              other_turbo_file};

// Feeds samples to a fresh index and health measure, checking the records as
// they come and the end.
void index_tape(checker *c, const std::vector<unsigned short> &samples)
{
    static tape_index index;
    static tape_health health;
    tape_health_init(&health, 985248, 0);
    tape_index_init(&index, take, c);
    index.health = &health;
    for (unsigned short sample : samples) {
        tape_health_feed(&health, &sample, 1);
        tape_index_feed(&index, sample);
        c->now += sample;
    }
    tape_index_finish(&index);
    tape_health_figures live;
    tape_health_live(&health, &live);
    check_health(live);
    for (const auto &[sequence, file] : c->files)
        check(file.verdict != tape_verdict_reading, "a file is left reading after the finish");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checker built;
    tape_synth synth;
    tape_synth_init(&synth);
    for (size_t at = 0; at + 1 < size && synth.samples.size() < samples_per_input_max; at += 2) {
        const unsigned op = data[at];
        pieces[op % std::size(pieces)](&built, &synth, op / unsigned(std::size(pieces)), data[at + 1]);
    }
    index_tape(&built, synth.samples);

    // Each byte a pulse byte, at the centre of its tick range.
    checker raw;
    raw.synthesized = false;
    std::vector<unsigned short> pulses(size);
    for (size_t at = 0; at < size; ++at)
        pulses[at] = static_cast<unsigned short>(data[at] * 8u + 4u);
    index_tape(&raw, pulses);
    return 0;
}
