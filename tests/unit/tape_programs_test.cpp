// Turbo Tape 250 files judged from their blocks, and the programs the tape
// index keeps from files of both formats that read back, on synthesized and
// real tapes.
#include "tape/petscii.h"
#include "tape/program_files.h"
#include "tape/tape_index.h"
#include "tape_synth.h"
#include "tape_tap.h"
#include "tape_testing.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct program_record {
    uint32_t sequence;
    tape_loader loader;
    std::string shown;
    tape_verdict verdict;
    unsigned load_address = 0;
    std::vector<unsigned char> program;

    bool operator==(const program_record &) const = default;
};

void PrintTo(const program_record &r, std::ostream *out)
{
    *out << "#" << r.sequence << " " << tape_loader_text(r.loader) << " \"" << r.shown << "\" "
         << tape_verdict_text(r.verdict) << " $" << std::hex << r.load_address << std::dec << " " << r.program.size()
         << " bytes";
}

void keep_program_event(void *context, const tape_file_event *event)
{
    unsigned char name[17];
    std::memcpy(name, event->name, sizeof name);
    char shown[17];
    petscii_printable_name(name, shown);
    program_record r{event->sequence, event->loader, shown, event->verdict, 0, {}};
    if (event->program) {
        r.load_address = event->load_address;
        r.program.assign(event->program, event->program + event->program_length);
    }
    static_cast<std::vector<program_record> *>(context)->push_back(r);
}

// The records of a whole capture, fed as the sample pass feeds them.
std::vector<program_record> index_of(const std::vector<unsigned short> &samples)
{
    std::vector<program_record> records;
    auto index = std::make_unique<tape_index>();
    tape_index_init(index.get(), keep_program_event, &records);
    for (unsigned short sample : samples)
        tape_index_feed(index.get(), sample);
    tape_index_finish(index.get());
    return records;
}

const std::vector<unsigned char> sample_program = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1',
                                                   0, 0, 0, 0x60, 0xEA};

program_record turbo(uint32_t sequence, const char *name, tape_verdict verdict,
                     const std::vector<unsigned char> &bytes = {})
{
    return {sequence, tape_loader_tt250, name, verdict, bytes.empty() ? 0u : 0x0801u, bytes};
}

// Samples per turbo byte, and where a turbo file's data bytes begin.
constexpr size_t byte_samples = 8;
size_t first_data_sample(size_t file_start, unsigned lead_in = tape_turbo_lead_in)
{
    const size_t header = (lead_in + 9 + 1 + 192) * byte_samples;
    return file_start + header + (lead_in + 9 + 1) * byte_samples;
}

// Turbo files as the Turbo Tape 64 family saves them: header, then the data
// block at once. Pulses moved up to 60 ticks either way.
struct turbo_tape {
    tape_synth synth;
    std::vector<size_t> starts; // first sample of each file

    turbo_tape() { tape_synth_init(&synth, 0, 60, 7); }

    void file(const char *name, const std::vector<unsigned char> &bytes, unsigned char id = 1,
              unsigned header_lead_in = tape_turbo_lead_in, bool with_data = true)
    {
        tape_synth_gap(&synth, 65535);
        starts.push_back(synth.samples.size());
        tape_turbo_header(&synth, tape_tt250, header_lead_in, id, 0x0801, 0x0801 + unsigned(bytes.size()),
                          tape_name_field(name));
        if (with_data)
            tape_turbo_data(&synth, tape_tt250, tape_turbo_lead_in, bytes.data(), bytes.size());
    }
};

TEST(Tt250Files, CleanFileIsGoodAndBringsExactlyItsProgram)
{
    turbo_tape tape;
    tape.file("FIRST", sample_program);
    tape.file("SECOND", {0xA9, 0x00});
    EXPECT_EQ(index_of(tape.synth.samples),
              (std::vector<program_record>{turbo(1, "FIRST", tape_verdict_reading),
                                           turbo(1, "FIRST", tape_verdict_good, sample_program),
                                           turbo(2, "SECOND", tape_verdict_reading),
                                           turbo(2, "SECOND", tape_verdict_good, {0xA9, 0x00})}));
}

// One bit per pulse: a pulse in no window, or a 0 read as a 1 (only the XOR
// tells), and the file is bad, its program dropped; the next file is not
// disturbed.
TEST(Tt250Files, DamagedByteOrWrongChecksumIsBadAndKeepsNoProgram)
{
    const std::vector<program_record> first_bad = {
        turbo(1, "FIRST", tape_verdict_reading), turbo(1, "FIRST", tape_verdict_bad),
        turbo(2, "SECOND", tape_verdict_reading), turbo(2, "SECOND", tape_verdict_good, sample_program)};
    for (int damaged : {150, 81 * 8}) {
        turbo_tape tape;
        tape.file("FIRST", sample_program);
        tape.file("SECOND", sample_program);
        // The first bit of data byte 3 (0x00): a pulse in no window, or a 1.
        tape.synth.samples[first_data_sample(tape.starts[0]) + 3 * byte_samples] = static_cast<unsigned short>(damaged);
        EXPECT_EQ(index_of(tape.synth.samples), first_bad) << "damaged pulse " << damaged;
    }
}

TEST(Tt250Files, HeaderWithoutItsDataBlockIsBad)
{
    turbo_tape tape;
    tape.file("FIRST", sample_program, 1, tape_turbo_lead_in, false);
    tape.file("SECOND", sample_program);
    EXPECT_EQ(index_of(tape.synth.samples),
              (std::vector<program_record>{turbo(1, "FIRST", tape_verdict_reading),
                                           turbo(1, "FIRST", tape_verdict_bad),
                                           turbo(2, "SECOND", tape_verdict_reading),
                                           turbo(2, "SECOND", tape_verdict_good, sample_program)}));
}

// A capture that ends inside a file has not damaged it: cut short, in both
// formats, inside the header as well as inside the data.
TEST(Tt250Files, CaptureEndingInsideAFileCutsItShort)
{
    turbo_tape tape;
    tape.file("FIRST", sample_program);
    const size_t header_end = tape.starts[0] + (tape_turbo_lead_in + 9 + 1 + 192) * byte_samples;
    for (size_t cut : {header_end - 50 * byte_samples, first_data_sample(tape.starts[0]) + 5}) {
        const std::vector<unsigned short> samples(tape.synth.samples.begin(), tape.synth.samples.begin() + cut);
        EXPECT_EQ(index_of(samples), (std::vector<program_record>{turbo(1, "FIRST", tape_verdict_reading),
                                                                  turbo(1, "FIRST", tape_verdict_cut_short)}));
    }

    tape_synth rom;
    tape_synth_init(&rom);
    tape_rom_program(&rom, tape_name_field("ROM"), 0x0801, sample_program.data(), sample_program.size());
    rom.samples.resize(rom.samples.size() - 1000); // inside the data block's first copy
    EXPECT_EQ(index_of(rom.samples).back().verdict, tape_verdict_cut_short);
}

// What the name decoder does not take for a header, the block reader does
// not list either: an identifier other than 1 or 2, a lead-in one byte short.
TEST(Tt250Files, WrongHeaderIsNotTakenForAFile)
{
    turbo_tape tape;
    tape.file("WRONG ID", sample_program, 3);
    tape.file("SHORT LEAD-IN", sample_program, 1, 958);
    tape.file("RIGHT", sample_program, 2, 959);
    EXPECT_EQ(index_of(tape.synth.samples),
              (std::vector<program_record>{turbo(1, "RIGHT", tape_verdict_reading),
                                           turbo(1, "RIGHT", tape_verdict_good, sample_program)}));
}

std::vector<unsigned short> real_tape_samples(const char *file)
{
    std::vector<unsigned short> samples;
    std::string error;
    const std::string path = real_tapes_folder(tape_home::repository) + "/" + file;
    EXPECT_TRUE(tape_tap_file_to_samples(path.c_str(), 0, &samples, nullptr, &error)) << error;
    return samples;
}

// The open-roms test tapes save one program four ways: PAL, NTSC, PAL with
// its first data copy broken on purpose (mended from the repeated copy), and
// Turbo Tape 250. Each gives the same 702 bytes loading at $0801.
TEST(RealTapePrograms, FourTapesCarryTheSameProgram)
{
    struct expected {
        const char *file;
        tape_loader loader;
        tape_verdict verdict;
    };
    const expected tapes[] = {
        {"openroms-testtape-c64-pal-normal.tap", tape_loader_rom, tape_verdict_good},
        {"openroms-testtape-c64-ntsc-normal.tap", tape_loader_rom, tape_verdict_good},
        {"openroms-testtape-c64-pal-normal-errors.tap", tape_loader_rom, tape_verdict_repaired},
        {"openroms-testtape-c64-pal-turbo.tap", tape_loader_tt250, tape_verdict_good},
    };
    std::vector<unsigned char> first;
    for (const expected &tape : tapes) {
        const std::vector<program_record> records = index_of(real_tape_samples(tape.file));
        ASSERT_EQ(records.size(), 2u) << tape.file;
        const program_record &judged = records.back();
        EXPECT_EQ(judged.loader, tape.loader) << tape.file;
        EXPECT_EQ(judged.verdict, tape.verdict) << tape.file;
        EXPECT_EQ(judged.load_address, 0x0801u) << tape.file;
        EXPECT_EQ(judged.program.size(), 702u) << tape.file;
        if (first.empty())
            first = judged.program;
        EXPECT_EQ(judged.program, first) << tape.file;
    }
}

}  // namespace

namespace {

tape_program named(const std::string &name)
{
    tape_program program{};
    program.name = raw_name(name + std::string(16 - name.size(), ' '));
    return program;
}

// File names are made for FAT, never make a path, and tell same-named
// programs of one tape apart in tape order.
TEST(ProgramFileNames, UnsafeNamesBecomeSafeAndSameNamesAreNumbered)
{
    const std::vector<tape_program> programs = {named("GAME"),   named("A/B:C*?"), named(".."),
                                                named("-RF"),    named(""),        named("GAME"),
                                                named("\x01\x93"), named("GAME"),  named("A\\B<>|\"")};
    EXPECT_EQ(program_file_names(programs),
              (std::vector<std::string>{"GAME.prg", "A_B_C__.prg", "_..prg", "_RF.prg", "unnamed.prg",
                                        "GAME (2).prg", "unnamed (2).prg", "GAME (3).prg", "A_B___.prg"}));
}

}  // namespace
