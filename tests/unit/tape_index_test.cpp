// The tape index: the files of real and synthesized tapes, where each header
// begins, and the verdict of every built-in-format file, with damage placed
// on purpose.
#include "tape/name_finder.h"
#include "tape/petscii.h"
#include "tape/tape_index.h"
#include "tape_demo.h"
#include "tape_synth.h"
#include "tape_tap.h"
#include "tape_testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

namespace {

struct record {
    uint32_t sequence;
    tape_loader loader;
    uint64_t tick;
    std::string shown;
    tape_verdict verdict;

    bool operator==(const record &) const = default;
};

void PrintTo(const record &r, std::ostream *out)
{
    *out << "#" << r.sequence << " " << tape_loader_text(r.loader) << " @" << r.tick << " \"" << r.shown
         << "\" " << tape_verdict_text(r.verdict);
}

void keep(void *context, const tape_file_event *event)
{
    unsigned char name[17];
    std::memcpy(name, event->name, sizeof name);
    char shown[17];
    petscii_printable_name(name, shown);
    static_cast<std::vector<record> *>(context)->push_back(
        {event->sequence, event->loader, event->tick, shown, event->verdict});
}

// Feeds the samples as the sample pass does; finishes the capture when asked.
struct indexed_tape {
    tape_index index;
    std::vector<record> records;

    // fed_before: samples a long capture had fed before these.
    explicit indexed_tape(const std::vector<unsigned short> &samples, bool finish = true, uint64_t fed_before = 0)
    {
        tape_index_init(&index, keep, &records);
        index.samples_seen = index.samples_read = fed_before;
        for (unsigned short sample : samples)
            tape_index_feed(&index, sample);
        if (finish)
            tape_index_finish(&index);
    }
};

// A record as a test expects it, position left out.
record rom(uint32_t sequence, const char *name, tape_verdict verdict)
{
    return {sequence, tape_loader_rom, 0, name, verdict};
}

std::vector<record> without_ticks(std::vector<record> records)
{
    for (record &r : records)
        r.tick = 0;
    return records;
}

const unsigned char program[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};

// Two programs with pulses moved up to 100 ticks either way, the first
// damaged as asked.
std::vector<unsigned short> two_programs(const tape_rom_block_damage &first_data,
                                         const tape_rom_block_damage &first_header = {})
{
    tape_synth synth;
    tape_synth_init(&synth, 0, 100, 11);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("FIRST"), 0x0801, program, sizeof program, first_header, first_data);
    tape_synth_gap(&synth, 65535);
    tape_rom_program(&synth, tape_name_field("SECOND"), 0x0801, program, sizeof program);
    return synth.samples;
}

std::vector<record> first_bad_second_good()
{
    return {rom(1, "FIRST", tape_verdict_reading), rom(1, "FIRST", tape_verdict_bad),
            rom(2, "SECOND", tape_verdict_reading), rom(2, "SECOND", tape_verdict_good)};
}

uint64_t ticks_of(const std::vector<unsigned short> &samples, size_t count)
{
    return std::accumulate(samples.begin(), samples.begin() + count, uint64_t{0});
}

TEST(TapeIndex, EachLoadersFilesAreListedInOrderAtTheirHeadersFirstByte)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, 40, 5);
    tape_synth_gap(&synth, 65535);
    const size_t rom_header = synth.samples.size() + tape_rom_header_pilot;
    tape_rom_program(&synth, tape_name_field("ROM FILE"), 0x0801, program, sizeof program);
    size_t turbo_header[2];
    const tape_turbo_format *formats[2] = {&tape_tt250, &tape_turrican};
    for (int i = 0; i < 2; ++i) {
        tape_synth_gap(&synth, 65535);
        turbo_header[i] = synth.samples.size() + tape_turbo_lead_in * 8;
        tape_turbo_header(&synth, *formats[i], tape_turbo_lead_in, 1, 0x0801, 0x080D, tape_name_field("TURBO"));
        tape_turbo_data(&synth, *formats[i], tape_turbo_lead_in, program, sizeof program);
    }
    const std::vector<unsigned short> &s = synth.samples;

    const uint64_t rom_tick = ticks_of(s, rom_header);
    EXPECT_EQ(indexed_tape(s).records,
              (std::vector<record>{{1, tape_loader_rom, rom_tick, "ROM FILE", tape_verdict_reading},
                                   {1, tape_loader_rom, rom_tick, "ROM FILE", tape_verdict_good},
                                   {2, tape_loader_tt250, ticks_of(s, turbo_header[0]), "TURBO",
                                    tape_verdict_reading},
                                   {2, tape_loader_tt250, ticks_of(s, turbo_header[0]), "TURBO",
                                    tape_verdict_good},
                                   {3, tape_loader_turrican, ticks_of(s, turbo_header[1]), "TURBO",
                                    tape_verdict_reading},
                                   {3, tape_loader_turrican, ticks_of(s, turbo_header[1]), "TURBO",
                                    tape_verdict_good}}));
}

// A Turrican header whose name is completed just after the capture's
// 2^32nd sample is placed as in a short capture; with no data block after
// it, the capture's end cuts it short.
TEST(TapeIndex, TurboHeaderJustPastTwoToTheThirtyTwoSamplesKeepsItsPlace)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, 40, 5);
    tape_synth_gap(&synth, 65535);
    const size_t header = synth.samples.size() + tape_turbo_lead_in * 8;
    tape_turbo_header(&synth, tape_turrican, tape_turbo_lead_in, 1, 0x0801, 0x080D, tape_name_field("LATE"));
    const std::vector<unsigned short> &s = synth.samples;
    decoders_restart();
    name_finder finder;
    name_finder_init(&finder);
    size_t named = 0;  // samples up to the one that completes the name
    while (named < s.size() && !name_finder_feed(&finder, s[named]))
        ++named;
    ASSERT_LT(named, s.size());
    const uint64_t fed_before = (uint64_t{1} << 32) - (named + 1) + 10;
    EXPECT_EQ(indexed_tape(s, true, fed_before).records,
              (std::vector<record>{{1, tape_loader_turrican, ticks_of(s, header), "LATE", tape_verdict_reading},
                                   {1, tape_loader_turrican, ticks_of(s, header), "LATE", tape_verdict_cut_short}}));
}

// A pair broken, a bit flipped (only the parity tells), a pulse lost and two
// markers in a row broken in the first data copy: the reader finds its way
// back each time, placing the bytes after two lost ones by time, and the
// repeated copy mends them.
TEST(TapeIndex, BadBytesOfTheFirstCopyMendedFromTheRepeatedOneAreRepaired)
{
    tape_rom_block_damage damage;
    damage.first.faults = {{2, tape_rom_broken_pair},
                           {3, tape_rom_flipped_bit},
                           {5, tape_rom_lost_pulse},
                           {9, tape_rom_broken_marker},
                           {10, tape_rom_broken_marker}};
    EXPECT_EQ(without_ticks(indexed_tape(two_programs(damage)).records),
              (std::vector<record>{rom(1, "FIRST", tape_verdict_reading), rom(1, "FIRST", tape_verdict_repaired),
                                   rom(2, "SECOND", tape_verdict_reading), rom(2, "SECOND", tape_verdict_good)}));
}

// The machine's loader notes at most 30 bad bytes of a first copy.
TEST(TapeIndex, ThirtyBadBytesCanBeMendedThirtyOneCannot)
{
    const std::vector<unsigned char> data(40, 0x55);
    auto verdict_with_bad_bytes = [&](size_t count) {
        tape_rom_block_damage damage;
        for (size_t byte = 0; byte < count; ++byte)
            damage.first.faults.push_back({byte, tape_rom_broken_pair});
        tape_synth synth;
        tape_synth_init(&synth);
        tape_rom_program(&synth, tape_name_field("MANY"), 0x0801, data.data(), data.size(), {}, damage);
        return indexed_tape(synth.samples).records.back().verdict;
    };
    EXPECT_EQ(verdict_with_bad_bytes(30), tape_verdict_repaired);
    EXPECT_EQ(verdict_with_bad_bytes(31), tape_verdict_bad);
}

TEST(TapeIndex, ByteBadInBothCopiesIsBad)
{
    tape_rom_block_damage damage;
    damage.first.faults = {{4, tape_rom_broken_pair}};
    damage.repeated.faults = {{4, tape_rom_lost_pulse}};
    EXPECT_EQ(without_ticks(indexed_tape(two_programs(damage)).records), first_bad_second_good());
}

TEST(TapeIndex, DamageOnlyInTheRepeatedCopiesIsGood)
{
    tape_rom_block_damage damage;
    damage.repeated.faults = {{0, tape_rom_broken_pair}};
    damage.repeated.bytes = 6;
    EXPECT_EQ(without_ticks(indexed_tape(two_programs(damage, damage)).records),
              (std::vector<record>{rom(1, "FIRST", tape_verdict_reading), rom(1, "FIRST", tape_verdict_good),
                                   rom(2, "SECOND", tape_verdict_reading), rom(2, "SECOND", tape_verdict_good)}));
}

TEST(TapeIndex, DataBlockCutShortIsBad)
{
    tape_rom_block_damage damage;
    damage.first.bytes = 5;
    damage.repeated.missing = true;
    EXPECT_EQ(without_ticks(indexed_tape(two_programs(damage)).records), first_bad_second_good());
}

// The next header stands where the data was due: it is not taken for data.
TEST(TapeIndex, ProgramWithoutDataIsBadAndTheNextHeaderStillListed)
{
    tape_rom_block_damage damage;
    damage.first.missing = damage.repeated.missing = true;
    EXPECT_EQ(without_ticks(indexed_tape(two_programs(damage)).records), first_bad_second_good());
}

TEST(TapeIndex, TapeStoppingInsideABlockLeavesTheFileReadingUntilFinishCutsItShort)
{
    tape_synth synth;
    tape_synth_init(&synth);
    tape_rom_program(&synth, tape_name_field("FIRST"), 0x0801, program, sizeof program);
    synth.samples.resize(synth.samples.size() - 1000); // inside the first data copy
    indexed_tape tape(synth.samples, false);
    EXPECT_EQ(without_ticks(tape.records), (std::vector<record>{rom(1, "FIRST", tape_verdict_reading)}));
    tape_index_finish(&tape.index);
    EXPECT_EQ(without_ticks(tape.records),
              (std::vector<record>{rom(1, "FIRST", tape_verdict_reading), rom(1, "FIRST", tape_verdict_cut_short)}));
}

// A data file (type 4) is judged by its type-2 blocks up to the one holding
// its end (a 0 byte); the end-of-tape mark (type 5) is no file.
TEST(TapeIndex, DataFileIsJudgedByItsBlocksAndTheEndOfTapeMarkIsNotListed)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, 60, 3);
    tape_rom_header(&synth, tape_rom_header_pilot, 4, 0x033C, 0x03FC, tape_name_field("NOTES"));
    for (int block = 0; block < 2; ++block) {
        std::vector<unsigned char> payload(192, 'A' + block);
        payload[0] = 2;
        if (block == 1)
            payload[50] = 0;
        tape_rom_block_damage damage;
        damage.first.faults = {{7, tape_rom_broken_pair}};
        tape_rom_block(&synth, tape_rom_data_pilot, payload.data(), payload.size(), damage);
    }
    tape_rom_header(&synth, tape_rom_header_pilot, 5, 0x033C, 0x03FC, tape_name_field("NOTES"));
    EXPECT_EQ(without_ticks(indexed_tape(synth.samples).records),
              (std::vector<record>{rom(1, "NOTES", tape_verdict_reading), rom(1, "NOTES", tape_verdict_repaired)}));
}

// ---- Real tapes ---------------------------------------------------------------

struct real_tape {
    tape_home home;
    const char *file;
    const char *label;
    std::vector<record> records; // positions left out
};

const real_tape real_tapes[] = {
    {tape_home::repository, "openroms-testtape-c64-pal-normal.tap", "PalNormal",
     {rom(1, "ROMEO & JULIET", tape_verdict_reading), rom(1, "ROMEO & JULIET", tape_verdict_good)}},
    // Four bytes of the first data copy broken on purpose; the repeated copy is whole.
    {tape_home::repository, "openroms-testtape-c64-pal-normal-errors.tap", "DamagedFirstDataCopy",
     {rom(1, "ROMEO & JULIET", tape_verdict_reading), rom(1, "ROMEO & JULIET", tape_verdict_repaired)}},
    {tape_home::repository, "openroms-testtape-c64-ntsc-normal.tap", "NtscNormal",
     {rom(1, "ROMEO & JULIET", tape_verdict_reading), rom(1, "ROMEO & JULIET", tape_verdict_good)}},
    {tape_home::repository, "openroms-testtape-c64-pal-turbo.tap", "Tt250Only",
     {{1, tape_loader_tt250, 0, "ROMEO & JULIET", tape_verdict_reading},
      {1, tape_loader_tt250, 0, "ROMEO & JULIET", tape_verdict_good}}},
    {tape_home::beside, "retroload-rl.tap", "Retroload", {rom(1, "RL", tape_verdict_reading), rom(1, "RL", tape_verdict_good)}},
    {tape_home::repository, "c64studio-sample1.tap", "TapVersion0", {rom(1, "HURZ", tape_verdict_reading), rom(1, "HURZ", tape_verdict_good)}},
    // Its data block has no repeated copy (the first one starts the game), and
    // a custom turbo follows: one good file, nothing else.
    {tape_home::beside, "tnd-gyro-run-tape.tap", "GyroRunWithCustomTurbo",
     {rom(1, "GYRO RUN", tape_verdict_reading), rom(1, "GYRO RUN", tape_verdict_good)}},
};

void PrintTo(const real_tape &tape, std::ostream *out) { *out << tape.file; }

class RealTapeIndex : public testing::TestWithParam<real_tape> {};

TEST_P(RealTapeIndex, ListsExactlyTheFilesOnTheTapeWithTheirVerdicts)
{
    const std::string folder = real_tapes_folder(GetParam().home);
    if (folder.empty())
        GTEST_SKIP() << "test material not found: set ZR7K8_TESTDATA_DIR to the folder that holds tapes/";
    std::vector<unsigned short> samples;
    std::string error;
    ASSERT_TRUE(tape_tap_file_to_samples((folder + "/" + GetParam().file).c_str(), 0, &samples, nullptr, &error))
        << error;
    EXPECT_EQ(without_ticks(indexed_tape(samples).records), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(Tapes, RealTapeIndex, testing::ValuesIn(real_tapes),
                         [](const testing::TestParamInfo<real_tape> &info) { return info.param.label; });

}  // namespace
