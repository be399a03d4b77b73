// Files rescued from several takes of one synthesized tape side: each take
// alone leaves them bad, together they read back byte for byte.
#include "tape/tape_rescue.h"
#include "tape/tape_take.h"
#include "rescue_takes.h"
#include "take_reading.h"
#include "tape/dmp.h"
#include "tape_file.h"
#include "tape_synth.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<tape_take_file> read_take(const std::vector<unsigned short> &samples,
                                      tape_take_reader *reused = nullptr)
{
    std::unique_ptr<tape_take_reader> fresh = reused ? nullptr : tape_take_reader_new();
    tape_take_reader *reader = reused ? reused : fresh.get();
    // In pieces, as a file streams in.
    for (size_t at = 0; at < samples.size(); at += 4093)
        tape_take_reader_feed(reader, samples.data() + at, std::min<size_t>(4093, samples.size() - at));
    return tape_take_reader_finish(reader);
}

std::string outcomes(const std::vector<tape_rescued_file> &files)
{
    std::string text;
    for (const tape_rescued_file &file : files)
        text += std::string(reinterpret_cast<const char *>(file.name), 16) + "=" +
                tape_rescue_outcome_word(file.outcome) + ";";
    return text;
}

TEST(TapeRescue, TwoTakesTogetherGiveBackWhatNeitherReadsAlone)
{
    const std::vector<tape_take_file> first = read_take(rescue_take({5, 9}, 3, 0));
    const std::vector<tape_take_file> second = read_take(rescue_take({200, 310}, 8, 20));
    for (const std::vector<tape_take_file> *take : {&first, &second}) {
        ASSERT_EQ(take->size(), 3u);
        for (const tape_take_file &file : *take)
            EXPECT_EQ(file.verdict, tape_verdict_bad) << std::string(reinterpret_cast<const char *>(file.name), 16);
    }

    bool shared = false;
    const std::vector<tape_rescued_file> rescued = tape_rescue({first, second}, &shared);
    EXPECT_TRUE(shared);
    EXPECT_EQ(outcomes(rescued),
              "ROM FILE        =rescued;TURBO FILE      =rescued;STUCK           =bad;");
    ASSERT_EQ(rescued.size(), 3u);
    EXPECT_EQ(rescued[0].program, rescue_rom_program);
    EXPECT_EQ(rescued[0].load_address, 0x0801);
    EXPECT_EQ(rescued[1].program, rescue_turbo_program);
    EXPECT_EQ(rescued[1].load_address, 0x1000);
    EXPECT_TRUE(rescued[2].program.empty());
    EXPECT_EQ(rescued[0].takes_holding, 2u);
}

TEST(TapeRescue, ARestartedReaderReadsTheNextTakeAsANewOneWould)
{
    auto reader = tape_take_reader_new();
    const std::vector<tape_take_file> first = read_take(rescue_take({5, 9}, 3, 0), reader.get());
    ASSERT_EQ(first.size(), 3u);
    const std::vector<unsigned short> second = rescue_take({200, 310}, 8, 20);
    // Restarted both when spent and midway through a take.
    for (size_t fed : {size_t(0), second.size() / 2}) {
        tape_take_reader_restart(reader.get());
        tape_take_reader_feed(reader.get(), second.data(), fed);
        tape_take_reader_restart(reader.get());
        const std::vector<tape_take_file> restarted = read_take(second, reader.get()), fresh = read_take(second);
        ASSERT_EQ(restarted.size(), fresh.size());
        for (size_t i = 0; i < fresh.size(); ++i) {
            EXPECT_EQ(restarted[i].tick, fresh[i].tick);
            EXPECT_EQ(restarted[i].verdict, fresh[i].verdict);
            for (unsigned copy = 0; copy < 2; ++copy) {
                EXPECT_EQ(restarted[i].header[copy], fresh[i].header[copy]);
                EXPECT_EQ(restarted[i].data[copy], fresh[i].data[copy]);
            }
        }
    }
}

// The clean image of the rescue: both rescued files written afresh load good
// with every pulse in its window; the file no take read stays as the first
// take recorded it, bad.
TEST(TapeRescue, TheCleanImageLoadsWhatTheTakesGaveBack)
{
    test_folder folder;
    const std::string first_path = folder.path() + "/first.dmp", clean_path = folder.path() + "/clean.tap";
    std::string error;
    ASSERT_TRUE(dmp_write_file(first_path.c_str(), rescue_take({5, 9}, 3, 0), &error)) << error;
    const std::vector<std::vector<tape_take_file>> takes = {test_read_take(first_path),
                                                            read_take(rescue_take({200, 310}, 8, 20))};

    const std::vector<tape_take_file> clean = test_clean_image(first_path, takes, clean_path);
    ASSERT_EQ(clean.size(), 3u);
    EXPECT_EQ(clean[0].verdict, tape_verdict_good);
    EXPECT_EQ(clean[0].program, rescue_rom_program);
    EXPECT_EQ(clean[1].verdict, tape_verdict_good);
    EXPECT_EQ(clean[1].program, rescue_turbo_program);
    EXPECT_TRUE(test_every_byte_clean(clean[0]) && test_every_byte_clean(clean[1]));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(clean[2].name), 5), "STUCK");
    EXPECT_EQ(clean[2].verdict, tape_verdict_bad);
}

// Two clean copies that disagree with nothing to break the tie leave the
// byte unreadable; a third take decides it.
TEST(TapeRescue, DisagreeingCleanCopiesAreSettledByTheMajority)
{
    std::vector<tape_take_file> takes[3];
    for (int t = 0; t < 3; ++t)
        takes[t] = read_take(rescue_take({5, 9}, uint32_t(11 + t), 0));
    // Take 1 read a turbo data byte wrongly, though cleanly; the others
    // lost it.
    takes[0][1].data[0][9] = int16_t(rescue_turbo_program[9] ^ 0x40);
    takes[1][1].data[0][9] = int16_t(rescue_turbo_program[9]);
    EXPECT_EQ(tape_rescue({takes[0], takes[1]}, nullptr)[1].outcome, tape_rescue_bad);
    takes[2][1].data[0][9] = int16_t(rescue_turbo_program[9]);
    const std::vector<tape_rescued_file> voted = tape_rescue({takes[0], takes[1], takes[2]}, nullptr);
    EXPECT_EQ(voted[1].outcome, tape_rescue_rescued);
    EXPECT_EQ(voted[1].program, rescue_turbo_program);
}

TEST(TapeRescue, TakesWithNoFileInCommonAreJudgedEachAlone)
{
    tape_synth one, other;
    tape_synth_init(&one);
    tape_synth_init(&other);
    tape_rom_program(&one, tape_name_field("ONE"), 0x0801, rescue_rom_program.data(), rescue_rom_program.size());
    tape_rom_program(&other, tape_name_field("OTHER"), 0x0801, rescue_rom_program.data(), rescue_rom_program.size(), {},
                     rescue_both_copies_broken(3));
    bool shared = true;
    const std::vector<tape_rescued_file> files = tape_rescue({read_take(one.samples), read_take(other.samples)}, &shared);
    EXPECT_FALSE(shared);
    EXPECT_EQ(outcomes(files), "ONE             =good;OTHER           =bad;");
    EXPECT_EQ(files[1].take, 1u);
}

}  // namespace
