// Clean TAP images: files read written afresh with nominal pulses, the rest
// of the take copied as it was recorded.
#include "tape/clean_tap.h"
#include "tape/tap_writer.h"
#include "tape_file.h"
#include "take_reading.h"
#include "tape_synth.h"
#include "tape_tap.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace {

std::string tape_path(const char *name)
{
    return std::string(ZR7K8_SOURCE_DIR "/tests/data/tapes/") + name;
}

std::string read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The errors tape (its data block's first copy broken on purpose) behind a
// stretch of noise no reader takes for a file: the clean image keeps the
// noise entry for entry, and its file loads good, with every pulse of both
// copies in its window, and holds the PAL tape's program byte for byte.
TEST(CleanTap, TheErrorsTapeComesBackGoodBehindItsStretchCopiedUnchanged)
{
    std::vector<unsigned short> noise(3000);
    std::mt19937 random(7);
    for (unsigned short &sample : noise)
        sample = static_cast<unsigned short>(200 + random() % 3000);
    std::vector<unsigned short> errors;
    std::string error;
    ASSERT_TRUE(tape_tap_file_to_samples(tape_path("openroms-testtape-c64-pal-normal-errors.tap").c_str(), 0, &errors,
                                         nullptr, &error))
        << error;
    std::vector<unsigned short> take = noise;
    take.insert(take.end(), errors.begin(), errors.end());

    test_folder folder;
    const std::string take_path = folder.path() + "/take.dmp", noise_path = folder.path() + "/noise.dmp";
    const std::string clean_path = folder.path() + "/clean.tap", noise_tap = folder.path() + "/noise.tap";
    ASSERT_TRUE(dmp_write_file(take_path.c_str(), take, &error)) << error;
    ASSERT_TRUE(dmp_write_file(noise_path.c_str(), noise, &error)) << error;

    const std::vector<std::vector<tape_take_file>> takes = {test_read_take(take_path)};
    ASSERT_EQ(takes[0].size(), 1u);
    EXPECT_EQ(takes[0][0].verdict, tape_verdict_repaired);
    const sampling_option_values options{};
    GError *failure = nullptr;
    clean_tap_result result{};
    ASSERT_TRUE(clean_tap_write(take_path.c_str(), takes, tape_rescue(takes, nullptr), &options, clean_path.c_str(), 1,
                                &result, &failure))
        << failure->message;
    EXPECT_EQ(result.files_rebuilt, 1u);

    const std::vector<tape_take_file> clean = test_read_take(clean_path);
    const std::vector<tape_take_file> pal = test_read_take(tape_path("openroms-testtape-c64-pal-normal.tap"));
    ASSERT_EQ(clean.size(), 1u);
    ASSERT_EQ(pal.size(), 1u);
    EXPECT_EQ(clean[0].verdict, tape_verdict_good);
    EXPECT_TRUE(test_every_byte_clean(clean[0]));
    EXPECT_EQ(clean[0].program, pal[0].program);
    EXPECT_FALSE(clean[0].program.empty());

    // The noise's entries, as a plain conversion writes them, open the image.
    ASSERT_TRUE(tap_write_file_from_dmp(noise_path.c_str(), noise_tap.c_str(), 1, &options, nullptr, &failure))
        << failure->message;
    const std::string noise_entries = read_bytes(noise_tap).substr(TAP_HEADER_SIZE);
    const std::string image = read_bytes(clean_path);
    EXPECT_EQ(image.substr(TAP_HEADER_SIZE, noise_entries.size()), noise_entries);
    // Then the header's pilot, the machine's own and nothing of the take's.
    const size_t pilot = TAP_HEADER_SIZE + noise_entries.size();
    EXPECT_EQ(image.substr(pilot, 27136 + 1), std::string(27136, '\x30') + '\x56');
    EXPECT_NE(read_bytes(folder.path() + "/clean.idx").find("ROMEO & JULIET"), std::string::npos)
        << "no index beside the image";
}

// A pause the TAP image held as one entry is one entry in the clean image
// too, however its reader handed it out.
TEST(CleanTap, APauseOfATapTakeStaysOneEntry)
{
    test_folder folder;
    const std::string take_path = tape_path("openroms-testtape-c64-pal-normal-errors.tap");
    const std::string clean_path = folder.path() + "/clean.tap";
    const std::vector<std::vector<tape_take_file>> takes = {test_read_take(take_path)};
    const sampling_option_values options{};
    GError *failure = nullptr;
    ASSERT_TRUE(clean_tap_write(take_path.c_str(), takes, tape_rescue(takes, nullptr), &options, clean_path.c_str(), 1,
                                nullptr, &failure))
        << failure->message;
    const std::string pause("\x00\x4A\x00\x05", 4); // 327754 cycles, between the header and its data
    ASSERT_NE(read_bytes(take_path).find(pause), std::string::npos);
    EXPECT_NE(read_bytes(clean_path).find(pause), std::string::npos);
}

// A data file (type 4) holds no program to rebuild: it is copied as it was
// recorded, and the clean image's index names it where a plain conversion's
// index names it, beside the program rebuilt.
TEST(CleanTap, ItsIndexNamesTheDataFilesAPlainConversionNames)
{
    const unsigned char program[] = {0xA9, 0x01, 0x60};
    tape_synth side;
    tape_synth_init(&side);
    tape_rom_header(&side, tape_rom_header_pilot, 4, 0x033C, 0x03FC, tape_name_field("NOTES"));
    std::vector<unsigned char> payload(192, 'A');
    payload[0] = 2;
    payload[50] = 0;
    tape_rom_block(&side, tape_rom_data_pilot, payload.data(), payload.size(), {});
    tape_synth_gap(&side, 65535);
    tape_rom_program(&side, tape_name_field("CODE"), 0x0801, program, sizeof program);

    test_folder folder;
    const std::string take_path = folder.path() + "/take.dmp";
    std::string error;
    ASSERT_TRUE(dmp_write_file(take_path.c_str(), side.samples, &error)) << error;
    const sampling_option_values options{};
    GError *failure = nullptr;
    ASSERT_TRUE(tap_write_file_from_dmp(take_path.c_str(), (folder.path() + "/plain.tap").c_str(), 1, &options,
                                        nullptr, &failure))
        << failure->message;
    const std::vector<std::vector<tape_take_file>> takes = {test_read_take(take_path)};
    ASSERT_FALSE(test_clean_image(take_path, takes, folder.path() + "/clean.tap").empty());

    auto names = [](const std::string &index) {
        std::vector<std::string> listed;
        for (size_t at = index.find('\n') + 1, end; (end = index.find('\n', at)) != std::string::npos; at = end + 1)
            listed.push_back(index.substr(index.find(' ', at) + 1, end - index.find(' ', at) - 1));
        return listed;
    };
    const std::vector<std::string> plain = names(read_bytes(folder.path() + "/plain.idx"));
    EXPECT_EQ(plain, (std::vector<std::string>{"NOTES", "CODE"}));
    EXPECT_EQ(names(read_bytes(folder.path() + "/clean.idx")), plain);
}

// The first take ends seven pulses into a pilot byte of a Turbo Tape 250
// file that only the second take holds, and the file has no more lead-in
// than its reader needs: written after the take's end, it still loads good
// from the clean image (the half byte left over must not cost it a byte of
// its lead-in).
TEST(CleanTap, AFileOnlyAnotherTakeHoldsLoadsAfterAFirstTakeCutInsideItsLeadIn)
{
    const std::vector<unsigned char> program = {0xA9, 0x00, 0x8D, 0x20, 0xD0, 0x60};
    tape_synth side;
    tape_synth_init(&side);
    tape_synth_gap(&side, 65535);
    const unsigned lead_in = tt250_format.lead_in_bytes_min;
    tape_turbo_header(&side, tape_tt250, lead_in, tape_turbo_header_id, 0x1000, 0x1000 + unsigned(program.size()),
                      tape_name_field("LATE"));
    tape_turbo_data(&side, tape_tt250, lead_in, program.data(), program.size());
    tape_synth_gap(&side, 65535);
    const std::vector<unsigned short> first(side.samples.begin(), side.samples.begin() + 1 + 100 * 8 + 7);

    test_folder folder;
    const std::string first_path = folder.path() + "/first.dmp", second_path = folder.path() + "/second.dmp";
    const std::string clean_path = folder.path() + "/clean.tap";
    std::string error;
    ASSERT_TRUE(dmp_write_file(first_path.c_str(), first, &error)) << error;
    ASSERT_TRUE(dmp_write_file(second_path.c_str(), side.samples, &error)) << error;
    const std::vector<std::vector<tape_take_file>> takes = {test_read_take(first_path), test_read_take(second_path)};
    ASSERT_TRUE(takes[0].empty());
    ASSERT_EQ(takes[1].size(), 1u);

    const std::vector<tape_take_file> clean = test_clean_image(first_path, takes, clean_path);
    ASSERT_EQ(clean.size(), 1u);
    EXPECT_EQ(clean[0].loader, tape_loader_tt250);
    EXPECT_EQ(clean[0].verdict, tape_verdict_good);
    EXPECT_EQ(clean[0].program, program);
}

// The first take ends inside a Novaload Special run, which the second take
// reads good: rebuilt in the first take's place, it brings the closing page
// the first take never reached, so it loads good.
TEST(CleanTap, ASpecialRunTheFirstTakeCutShortIsClosedInTheImage)
{
    std::vector<unsigned char> pages(512);
    for (size_t i = 0; i < pages.size(); ++i)
        pages[i] = static_cast<unsigned char>(i * 7 + 3);
    tape_synth side;
    tape_synth_init(&side);
    tape_synth_gap(&side, 65535);
    tape_loader_file(&side, tape_loader_novaload_special, tape_name_field(""), 0xC000, pages.data(), pages.size());
    tape_synth_gap(&side, 65535);
    // 100 bytes before the second page's end: the closing page, the trailer
    // and the silence come after it.
    const size_t cut = side.samples.size() - 1 - novaload_facts.trailer_pulses_written - 8 - 100 * 8;
    const std::vector<unsigned short> first(side.samples.begin(), side.samples.begin() + long(cut));

    test_folder folder;
    const std::string first_path = folder.path() + "/first.dmp", second_path = folder.path() + "/second.dmp";
    std::string error;
    ASSERT_TRUE(dmp_write_file(first_path.c_str(), first, &error)) << error;
    ASSERT_TRUE(dmp_write_file(second_path.c_str(), side.samples, &error)) << error;
    const std::vector<std::vector<tape_take_file>> takes = {test_read_take(first_path), test_read_take(second_path)};
    ASSERT_EQ(takes[0].size(), 1u);
    EXPECT_EQ(takes[0][0].verdict, tape_verdict_cut_short);

    const std::vector<tape_take_file> clean = test_clean_image(first_path, takes, folder.path() + "/clean.tap");
    ASSERT_EQ(clean.size(), 1u);
    EXPECT_EQ(clean[0].verdict, tape_verdict_good);
    EXPECT_EQ(clean[0].program, pages);
}

}  // namespace
