// The commercial loaders' readers (pilot_files.h, novaload_files.h) on tapes
// made in the test: clean files, damage, headers that lie, tapes that end
// inside a file; most of them from bytes chosen here, not from the encoder.
#include "tape/formats/freeload.h"
#include "tape/formats/hitload.h"
#include "tape/formats/microload.h"
#include "tape/formats/tt250.h"
#include "tape/formats/turrican.h"
#include "tape/formats/usgold.h"
#include "tape/loader_encoder.h"
#include "tape/novaload_files.h"
#include "tape/pilot_files.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct found_file {
    std::string name;
    tape_verdict verdict;
    uint16_t load;
    std::vector<unsigned char> program;
    uint64_t tick, pilot_tick, end_tick;
    uint32_t end_address;
};

struct found {
    std::vector<found_file> listed;   // records with verdict reading
    std::vector<found_file> judged;   // final records
    std::vector<tape_file_byte> bytes;
};

template <typename Reader> found_file record_of(const Reader *reader, const tape_file_record *record)
{
    found_file file{std::string(reinterpret_cast<const char *>(record->name), 16), record->verdict,
                    record->load_address, {}, record->tick, record->first_tick, record->end_tick,
                    reader->end_address};
    if (record->program)
        file.program.assign(record->program, record->program + record->program_length);
    return file;
}

// A format's bits as the samples of its nominal pulses; a pulse may be
// replaced by one of the test's choice.
class pilot_tape : public pilot_encoder {
public:
    explicit pilot_tape(const pilot_format &format) : pilot_encoder(format), format_(format) {}
    void pulse(unsigned bit) override
    {
        samples.push_back(pilot_ticks_of_units(bit ? format_.one_units : format_.zero_units));
    }
    std::vector<unsigned short> samples;

private:
    const pilot_format &format_;
};

class novaload_tape : public novaload_encoder {
public:
    void pulse(unsigned bit) override
    {
        samples.push_back(pilot_ticks_of_units(bit ? novaload_facts.one_units : novaload_facts.zero_units));
    }
    std::vector<unsigned short> samples;
};

// Reads samples in pieces of chunk, keeping every record and byte.
found read_pilot(const pilot_format &format, const std::vector<unsigned short> &samples, size_t chunk = 4096,
                 bool finish = true)
{
    found result;
    auto files = std::make_unique<pilot_files>();
    struct context {
        found *result;
        pilot_files *files;
    } ctx{&result, files.get()};
    pilot_files_init(files.get(), &format, [](void *c, const tape_file_record *record) {
        auto *x = static_cast<context *>(c);
        (record->verdict == tape_verdict_reading ? x->result->listed : x->result->judged)
            .push_back(record_of(x->files, record));
    }, &ctx);
    pilot_files_report_bytes(files.get(), [](void *c, const tape_file_byte *byte) {
        static_cast<context *>(c)->result->bytes.push_back(*byte);
    }, &ctx);
    uint64_t tick = 0;
    for (size_t at = 0; at < samples.size(); at += chunk)
        tick = pilot_files_read(files.get(), samples.data() + at, std::min(chunk, samples.size() - at), tick);
    if (finish)
        pilot_files_finish(files.get());
    return result;
}

found read_novaload(const std::vector<unsigned short> &samples, size_t chunk = 4096)
{
    found result;
    auto files = std::make_unique<novaload_files>();
    struct context {
        found *result;
        novaload_files *files;
    } ctx{&result, files.get()};
    novaload_files_init(files.get(), [](void *c, const tape_file_record *record) {
        auto *x = static_cast<context *>(c);
        (record->verdict == tape_verdict_reading ? x->result->listed : x->result->judged)
            .push_back(record_of(x->files, record));
    }, &ctx);
    novaload_files_report_bytes(files.get(), [](void *c, const tape_file_byte *byte) {
        static_cast<context *>(c)->result->bytes.push_back(*byte);
    }, &ctx);
    uint64_t tick = 0;
    for (size_t at = 0; at < samples.size(); at += chunk)
        tick = novaload_files_read(files.get(), samples.data() + at, std::min(chunk, samples.size() - at), tick);
    novaload_files_finish(files.get());
    return result;
}

std::vector<unsigned char> some_program(size_t length, unsigned seed = 7)
{
    std::vector<unsigned char> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>((i * 37 + seed * 11 + (i >> 8)) & 0xFF);
    return bytes;
}

const std::array<unsigned char, 16> name_field = {'S', 'P', 'A', 'C', 'E', ' ', 'Q', 'U',
                                                  'E', 'S', 'T', ' ', ' ', ' ', ' ', ' '};

struct family_case {
    const pilot_format *format;
    const char *listed_name; // for a file of 300 bytes at $0801 named name_field
};

class PilotFamily : public testing::TestWithParam<family_case> {};

// Every format of the family: a clean file, read in pieces of every size
// that matters, is listed under its name or address range and judged good
// with the exact program; a byte flipped (its pulses all clean) makes it bad
// without a program.
TEST_P(PilotFamily, CleanFileGoodAndFlippedByteBad)
{
    const pilot_format &format = *GetParam().format;
    const std::vector<unsigned char> program = some_program(300);
    pilot_tape tape(format);
    tape.pulse(0); // noise before the pilot
    tape.file(0x0801, name_field, program.data(), program.size());
    for (size_t chunk : {size_t(1), size_t(7), size_t(256), tape.samples.size()}) {
        const found got = read_pilot(format, tape.samples, chunk);
        ASSERT_EQ(got.listed.size(), 1u) << chunk;
        ASSERT_EQ(got.judged.size(), 1u) << chunk;
        EXPECT_EQ(got.listed[0].name, GetParam().listed_name);
        EXPECT_EQ(got.judged[0].verdict, tape_verdict_good);
        EXPECT_EQ(got.judged[0].load, 0x0801);
        EXPECT_EQ(got.judged[0].end_address, 0x0801u + 300);
        EXPECT_EQ(got.judged[0].program, program);
        EXPECT_LT(got.judged[0].pilot_tick, got.judged[0].tick);
        EXPECT_LT(got.judged[0].tick, got.judged[0].end_tick);
    }

    pilot_tape flipped(format);
    flipped.file(0x0801, name_field, program.data(), program.size());
    // The XOR is of the program as saved; the byte read back differs.
    const size_t data_bits_from_end = (1 + 300 - 100) * 8;
    unsigned short &pulse = flipped.samples[flipped.samples.size() - data_bits_from_end];
    pulse = pilot_ticks_of_units(pulse == pilot_ticks_of_units(format.one_units) ? format.zero_units : format.one_units);
    const found bad = read_pilot(format, flipped.samples);
    ASSERT_EQ(bad.judged.size(), 1u);
    EXPECT_EQ(bad.judged[0].verdict, tape_verdict_bad);
    EXPECT_TRUE(bad.judged[0].program.empty());
}

// A pulse far outside both classes in the data: that byte alone is unclean
// for a rescue, the file bad; the same far pulse in the pilot costs nothing.
TEST_P(PilotFamily, PulseOutsideBothClassesMakesItsByteUnclean)
{
    const pilot_format &format = *GetParam().format;
    const std::vector<unsigned char> program = some_program(40);
    pilot_tape tape(format);
    tape.file(0xC000, name_field, program.data(), program.size());
    tape.samples[tape.samples.size() - (1 + 40 - 5) * 8 + 3] = 3000; // data byte 5, its fourth pulse
    tape.samples[20] = 40;                                           // in the pilot
    const found got = read_pilot(format, tape.samples);
    ASSERT_EQ(got.judged.size(), 1u);
    EXPECT_EQ(got.judged[0].verdict, tape_verdict_bad);
    unsigned unclean = 0;
    for (const tape_file_byte &byte : got.bytes) {
        if (!byte.clean) {
            ++unclean;
            EXPECT_EQ(byte.block, tape_file_data_block);
            EXPECT_EQ(byte.index, 5u);
        }
    }
    EXPECT_EQ(unclean, 1u);
    // The rescue gets every data byte and the XOR, for the vote.
    unsigned data_bytes = 0;
    for (const tape_file_byte &byte : got.bytes)
        data_bytes += byte.block == tape_file_data_block;
    EXPECT_EQ(data_bytes, 41u);
}

INSTANTIATE_TEST_SUITE_P(Formats, PilotFamily,
                         testing::Values(family_case{&tt250_pilot_format, "SPACE QUEST     "},
                                         family_case{&turrican_pilot_format, "SPACE QUEST     "},
                                         family_case{&freeload_format, "$0801-$092D     "},
                                         family_case{&hitload_format, "$0801-$092D     "},
                                         family_case{&usgold_format, "SPACE QUEST     "},
                                         family_case{&microload_format, "$0801-$092D     "}),
                         [](const testing::TestParamInfo<family_case> &info) {
                             return std::string(info.param.format->word);
                         });

// Bytes chosen here, the check bytes worked out by hand: Freeload loading
// $0801-$0805 (A9 00 60 EA, XOR 23), US Gold's name before its addresses,
// Microload's size as 0x10000 - 4 with its bits least significant first.
TEST(PilotFormats, HandMadeFilesReadAsTheirLoadersTakeThem)
{
    const std::vector<unsigned char> data = {0xA9, 0x00, 0x60, 0xEA};
    struct hand_made {
        const pilot_format *format;
        std::vector<unsigned char> header;
        unsigned char check;
        const char *name;
    } cases[] = {
        {&freeload_format, {0x01, 0x08, 0x05, 0x08}, 0x23, "$0801-$0805     "},
        {&freeload_format, {0x01, 0x08, 0x05, 0x08}, 0x24, "$0801-$0805     "},
        {&usgold_format, {'Z', 'A', 'P', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                          0x00, 0xC0, 0x04, 0xC0}, 0x23, "ZAP             "},
        {&microload_format, {0x00, 0x10, 0xFC, 0xFF}, 0x23, "$1000-$1004     "},
    };
    for (const hand_made &c : cases) {
        pilot_tape tape(*c.format);
        tape.pilot_and_sync(c.format->pilot_bytes_written);
        for (unsigned char byte : c.header)
            tape.write_byte(byte);
        for (unsigned char byte : data)
            tape.write_byte(byte);
        tape.write_byte(c.check);
        const found got = read_pilot(*c.format, tape.samples);
        ASSERT_EQ(got.judged.size(), 1u) << c.format->word;
        EXPECT_EQ(got.judged[0].name, c.name);
        if (c.check == 0x23) {
            EXPECT_EQ(got.judged[0].verdict, tape_verdict_good) << c.format->word;
            EXPECT_EQ(got.judged[0].program, data);
        } else {
            EXPECT_EQ(got.judged[0].verdict, tape_verdict_bad) << "wrong check byte";
            EXPECT_TRUE(got.judged[0].program.empty());
        }
    }
    // Microload's bit order: 0xA0 is sent 0,0,0,0,0,1,0,1.
    pilot_tape bits(microload_format);
    bits.write_byte(0xA0);
    const unsigned short zero = pilot_ticks_of_units(microload_format.zero_units);
    const unsigned short one = pilot_ticks_of_units(microload_format.one_units);
    EXPECT_EQ(bits.samples, (std::vector<unsigned short>{zero, zero, zero, zero, zero, one, zero, one}));
}

// Headers that lie are judged bad at once, with no program and no wait for
// data: end before start (Freeload), data beyond $FFFF (Microload, a size of
// 0x10000 - 0x0100 from $FF80). The tape after them is still read.
TEST(PilotFormats, LyingHeadersAreBadAtOnce)
{
    struct lie {
        const pilot_format *format;
        std::vector<unsigned char> header;
        const char *name;
    } lies[] = {
        {&freeload_format, {0x00, 0x10, 0x00, 0x08}, "$1000-$0800     "},
        {&microload_format, {0x80, 0xFF, 0x00, 0xFF}, "$FF80-$0080     "},
    };
    for (const lie &l : lies) {
        pilot_tape tape(*l.format);
        tape.pilot_and_sync(l.format->pilot_bytes_written);
        for (unsigned char byte : l.header)
            tape.write_byte(byte);
        const std::vector<unsigned char> program = some_program(20);
        tape.file(0x2000, name_field, program.data(), program.size());
        const found got = read_pilot(*l.format, tape.samples, 4096, false);
        ASSERT_EQ(got.judged.size(), 2u) << l.format->word;
        EXPECT_EQ(got.judged[0].name, l.name);
        EXPECT_EQ(got.judged[0].verdict, tape_verdict_bad);
        EXPECT_TRUE(got.judged[0].program.empty());
        EXPECT_EQ(got.judged[1].verdict, tape_verdict_good);
    }
}

// The stream ends inside the data: listed, then cut short, never good.
TEST(PilotFormats, TapeEndingInsideAFileIsCutShort)
{
    const std::vector<unsigned char> program = some_program(100);
    pilot_tape tape(hitload_format);
    tape.file(0x0801, name_field, program.data(), program.size());
    tape.samples.resize(tape.samples.size() - 50 * 8);
    const found got = read_pilot(hitload_format, tape.samples);
    ASSERT_EQ(got.listed.size(), 1u);
    ASSERT_EQ(got.judged.size(), 1u);
    EXPECT_EQ(got.judged[0].verdict, tape_verdict_cut_short);
    EXPECT_TRUE(got.judged[0].program.empty());
}

// Novaload: a clean file, good with its program; its running sum, worked out
// here for a header and two data bytes; a wrong check byte, a far pulse and
// a tape that ends inside the file.
TEST(Novaload, FilesAreJudgedByTheirRunningSum)
{
    const std::vector<unsigned char> program = some_program(700);
    const std::vector<unsigned char> name = {'N', 'O', 'V', 'A'};
    novaload_tape tape;
    tape.file(name, 0x0801, program.data(), program.size());
    for (size_t chunk : {size_t(1), size_t(13), tape.samples.size()}) {
        const found got = read_novaload(tape.samples, chunk);
        ASSERT_EQ(got.listed.size(), 1u);
        ASSERT_EQ(got.judged.size(), 1u);
        EXPECT_EQ(got.listed[0].name, "NOVA            ");
        EXPECT_EQ(got.judged[0].verdict, tape_verdict_good);
        EXPECT_EQ(got.judged[0].load, 0x0801);
        EXPECT_EQ(got.judged[0].program, program);
    }

    // Header 00 (no name), load $1000 - 256 = 00 0F, end 02 10, size 2 + 256
    // = 02 01: sum 0x24; the data 0x10 0x20, then 0x24 + 0x24 + 0x30.
    const std::vector<unsigned char> hand = {0x00, 0x00, 0x0F, 0x02, 0x10, 0x02, 0x01, 0x24, 0x10, 0x20, 0x78};
    for (unsigned char last : {0x78, 0x77}) {
        novaload_tape small;
        small.pilot_and_marker(novaload_facts.pilot_pulses_written);
        std::vector<unsigned char> bytes = hand;
        bytes.back() = last;
        small.write_bytes(bytes);
        small.trailer(100);
        const found got = read_novaload(small.samples);
        ASSERT_EQ(got.judged.size(), 1u);
        EXPECT_EQ(got.judged[0].name, std::string(16, ' '));
        EXPECT_EQ(got.judged[0].load, 0x1000);
        EXPECT_EQ(got.judged[0].verdict, last == 0x78 ? tape_verdict_good : tape_verdict_bad);
        const std::vector<unsigned char> expected = last == 0x78 ? std::vector<unsigned char>{0x10, 0x20}
                                                                  : std::vector<unsigned char>{};
        EXPECT_EQ(got.judged[0].program, expected);
    }

    novaload_tape far = tape;
    far.samples[far.samples.size() - novaload_facts.trailer_pulses_written - 300 * 8] = 4;
    const found got_far = read_novaload(far.samples);
    ASSERT_EQ(got_far.judged.size(), 1u);
    EXPECT_EQ(got_far.judged[0].verdict, tape_verdict_bad);

    novaload_tape cut = tape;
    cut.samples.resize(cut.samples.size() / 2);
    const found got_cut = read_novaload(cut.samples);
    ASSERT_EQ(got_cut.listed.size(), 1u);
    ASSERT_EQ(got_cut.judged.size(), 1u);
    EXPECT_EQ(got_cut.judged[0].verdict, tape_verdict_cut_short);
    EXPECT_TRUE(got_cut.judged[0].program.empty());
}

// Lying Novaload headers: a name longer than a header has is noise (nothing
// listed); a size field below 256 or data beyond $FFFF is bad at once.
TEST(Novaload, LyingHeaders)
{
    struct lie {
        std::vector<unsigned char> bytes;
        bool listed;
    } lies[] = {
        {{17, 'A', 'B'}, false},
        {{0x00, 0x00, 0x07, 0x00, 0x08, 0xFF, 0x00}, true},
        {{0x00, 0x00, 0xF0, 0x00, 0x00, 0x00, 0x20}, true},
    };
    for (const lie &l : lies) {
        novaload_tape tape;
        tape.pilot_and_marker(novaload_facts.pilot_pulses_written);
        tape.write_bytes(l.bytes);
        tape.trailer(3000);
        const found got = read_novaload(tape.samples);
        EXPECT_EQ(got.listed.size(), l.listed ? 1u : 0u);
        if (l.listed) {
            ASSERT_EQ(got.judged.size(), 1u);
            EXPECT_EQ(got.judged[0].verdict, tape_verdict_bad);
            EXPECT_TRUE(got.judged[0].program.empty());
        }
    }
}

// Novaload Special: each run of consecutive pages is one program under its
// address range; a page whose sum fails makes only its run bad.
TEST(Novaload, SpecialChainsGiveOneProgramPerRun)
{
    const std::vector<unsigned char> first = some_program(3 * 256, 1);
    const std::vector<unsigned char> second = some_program(256, 2);
    novaload_tape tape;
    tape.special({{0x08, first}, {0xC0, second}});
    const found got = read_novaload(tape.samples);
    ASSERT_EQ(got.judged.size(), 2u);
    EXPECT_EQ(got.judged[0].name, "$0800-$0B00     ");
    EXPECT_EQ(got.judged[0].verdict, tape_verdict_good);
    EXPECT_EQ(got.judged[0].program, first);
    EXPECT_EQ(got.judged[1].name, "$C000-$C100     ");
    EXPECT_EQ(got.judged[1].program, second);
    EXPECT_LE(got.judged[0].end_tick, got.judged[1].tick);

    // Hand-made: page 0x20, 256 bytes 0x01, check 0x20 + 0x00 = 0x20 (here
    // 0x21: wrong), then page 0x21 with its right check.
    novaload_tape hand;
    hand.pilot_and_marker(novaload_facts.pilot_pulses_written);
    hand.write_bytes({0x55, 0x20});
    hand.write_bytes(std::vector<unsigned char>(256, 0x01));
    hand.write_bytes({0x21, 0x21});
    hand.write_bytes(std::vector<unsigned char>(256, 0x01));
    hand.write_bytes({0x21, 0x00});
    const found sums = read_novaload(hand.samples);
    ASSERT_EQ(sums.judged.size(), 1u);
    EXPECT_EQ(sums.judged[0].name, "$2000-$2200     ");
    EXPECT_EQ(sums.judged[0].verdict, tape_verdict_bad);

    novaload_tape cut;
    cut.special({{0x08, first}});
    cut.samples.resize(cut.samples.size() - novaload_facts.trailer_pulses_written - 400 * 8);
    const found got_cut = read_novaload(cut.samples);
    ASSERT_EQ(got_cut.judged.size(), 1u);
    EXPECT_EQ(got_cut.judged[0].verdict, tape_verdict_cut_short);
}

}  // namespace
