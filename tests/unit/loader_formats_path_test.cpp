// Every turbo loader through the whole content path: listed live by the tape
// index with its loader and name or address range, judged, its program
// given back; a damaged file bad; two takes each damaged elsewhere rescued;
// the clean image of those takes reading back good with the same program.
#include "tape/clean_tap.h"
#include "tape/dmp.h"
#include "tape/loader_encoder.h"
#include "tape/loader_table.h"
#include "tape/tape_index.h"
#include "tape/tape_rescue.h"
#include "config_home.h"
#include "take_reading.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Samples of nominal pulses, each moved by a small deterministic jitter.
struct sampler {
    std::vector<unsigned short> samples;
    unsigned state = 1;
    void add(unsigned units)
    {
        state = state * 1103515245u + 12345u;
        samples.push_back(static_cast<unsigned short>(pilot_ticks_of_units(units) + int(state >> 16) % 9 - 4));
    }
};

class pilot_sampler : public pilot_encoder {
public:
    pilot_sampler(const pilot_format &format, sampler &out) : pilot_encoder(format), format_(format), out_(out) {}
    void pulse(unsigned bit) override { out_.add(bit ? format_.one_units : format_.zero_units); }

private:
    const pilot_format &format_;
    sampler &out_;
};

class novaload_sampler : public novaload_encoder {
public:
    explicit novaload_sampler(sampler &out) : out_(out) {}
    void pulse(unsigned bit) override { out_.add(bit ? novaload_facts.one_units : novaload_facts.zero_units); }

private:
    sampler &out_;
};

std::vector<unsigned char> program_of(size_t length, unsigned seed)
{
    std::vector<unsigned char> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>((i * 131 + seed * 7 + (i >> 3)) & 0xFF);
    return bytes;
}

struct made_file {
    std::string listed_name; // 16 bytes
    unsigned start;
    std::vector<unsigned char> program;
};

// A take holding the loader's files (Novaload Special: one chain of two
// runs), silence around them; the pulse of data byte `damaged` of the first
// file (if not -1) lies far outside both classes.
std::vector<unsigned short> take_of(tape_loader loader, int damaged, std::vector<made_file> *files)
{
    sampler out;
    out.samples.assign(4, 65535);
    const std::array<unsigned char, 16> name = {'L', 'O', 'A', 'D', 'E', 'R', ' ', 'T',
                                                'E', 'S', 'T', ' ', ' ', ' ', ' ', ' '};
    size_t damage_at = 0;
    if (const pilot_format *row = tape_loader_pilot_format(loader)) {
        const std::vector<unsigned char> program = program_of(300, loader);
        pilot_sampler(*row, out).file(0x0801, name, program.data(), program.size());
        damage_at = out.samples.size() - (1 + program.size() - size_t(damaged)) * 8;
        unsigned char shown[16];
        tape_address_range_name(0x0801, 0x0801 + 300, shown);
        files->push_back({row->name_length ? std::string(name.begin(), name.end())
                                           : std::string(reinterpret_cast<char *>(shown), 16),
                          0x0801, program});
    } else if (loader == tape_loader_novaload) {
        const std::vector<unsigned char> program = program_of(600, loader);
        const std::vector<unsigned char> nova_name = {'N', 'O', 'V', 'A'};
        novaload_sampler(out).file(nova_name, 0x2000, program.data(), program.size());
        const size_t stream = novaload_data_stream(novaload_header(nova_name, 0x2000, 600), program.data(), 600).size();
        damage_at = out.samples.size() - novaload_facts.trailer_pulses_written -
                    (stream - (1 + size_t(damaged) + size_t(damaged) / 256)) * 8;
        files->push_back({"NOVA            ", 0x2000, program});
    } else {
        const size_t chain_start = out.samples.size();
        const novaload_encoder::run runs[2] = {{0x08, program_of(512, 1)}, {0x40, program_of(256, 2)}};
        novaload_sampler(out).special({runs[0], runs[1]});
        damage_at = chain_start + novaload_facts.pilot_pulses_written + 1 + 3 * 8 + size_t(damaged) * 8;
        files->push_back({"$0800-$0A00     ", 0x0800, runs[0].data});
        files->push_back({"$4000-$4100     ", 0x4000, runs[1].data});
    }
    if (damaged >= 0)
        out.samples[damage_at + 2] = 3000;
    out.samples.insert(out.samples.end(), 4, 65535);
    return out.samples;
}

struct indexed {
    std::vector<std::string> lines; // "loader name verdict" of final records
    std::vector<std::vector<unsigned char>> programs;
    unsigned listed = 0;
};

indexed index_of(const std::vector<unsigned short> &samples)
{
    indexed result;
    auto index = std::make_unique<tape_index>();
    tape_index_init(index.get(), [](void *context, const tape_file_event *event) {
        auto *r = static_cast<indexed *>(context);
        if (event->verdict == tape_verdict_reading) {
            ++r->listed;
            return;
        }
        r->lines.push_back(std::string(name_loader_label(event->loader)) + " " +
                           std::string(reinterpret_cast<const char *>(event->name), 16) + " " +
                           tape_verdict_text(event->verdict));
        if (event->program)
            r->programs.emplace_back(event->program, event->program + event->program_length);
    }, &result);
    tape_index_feed_samples(index.get(), samples.data(), samples.size());
    tape_index_finish(index.get());
    return result;
}

class LoaderPath : public testing::TestWithParam<tape_loader> {};

TEST_P(LoaderPath, ListedJudgedRescuedAndWrittenAfresh)
{
    const tape_loader loader = GetParam();
    const std::string word = tape_loader_word(loader);
    std::vector<made_file> files;
    const std::vector<unsigned short> clean = take_of(loader, -1, &files);

    // Listed live, judged good, the program exact.
    const indexed good = index_of(clean);
    ASSERT_EQ(good.lines.size(), files.size());
    EXPECT_EQ(good.listed, files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(good.lines[i], word + " " + files[i].listed_name + " good");
        EXPECT_EQ(good.programs.at(i), files[i].program);
    }

    // A far pulse in a data byte: bad, no program.
    std::vector<made_file> ignored;
    const std::vector<unsigned short> take_a = take_of(loader, 3, &ignored);
    const std::vector<unsigned short> take_b = take_of(loader, 10, &ignored);
    const indexed bad = index_of(take_a);
    ASSERT_EQ(bad.lines.size(), files.size());
    EXPECT_EQ(bad.lines[0], word + " " + files[0].listed_name + " bad");
    EXPECT_EQ(bad.programs.size(), files.size() - 1);

    // Two takes, each bad at another byte: rescued together.
    test_folder folder;
    std::string error;
    const std::string a = folder.path() + "/a.dmp", b = folder.path() + "/b.dmp", image = folder.path() + "/c.tap";
    ASSERT_TRUE(dmp_write_file(a.c_str(), take_a, &error)) << error;
    ASSERT_TRUE(dmp_write_file(b.c_str(), take_b, &error)) << error;
    const std::vector<std::vector<tape_take_file>> takes = {test_read_take(a), test_read_take(b)};
    ASSERT_EQ(takes[0].size(), files.size());
    EXPECT_EQ(takes[0][0].verdict, tape_verdict_bad);
    EXPECT_EQ(takes[1][0].verdict, tape_verdict_bad);
    bool shared = false;
    const std::vector<tape_rescued_file> rescued = tape_rescue(takes, &shared);
    EXPECT_TRUE(shared);
    ASSERT_EQ(rescued.size(), files.size());
    EXPECT_EQ(rescued[0].outcome, tape_rescue_rescued);
    EXPECT_EQ(rescued[0].program, files[0].program);
    EXPECT_EQ(rescued[0].load_address, files[0].start);

    // The clean image of both takes: every file good, every byte clean, the
    // same programs.
    const sampling_option_values options{};
    GError *failure = nullptr;
    clean_tap_result result{};
    ASSERT_TRUE(clean_tap_write(a.c_str(), takes, rescued, &options, image.c_str(), 1, &result, &failure))
        << failure->message;
    EXPECT_EQ(result.files_rebuilt, files.size());
    const std::vector<tape_take_file> written = test_read_take(image);
    ASSERT_EQ(written.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(written[i].loader, loader);
        EXPECT_EQ(written[i].verdict, tape_verdict_good) << i;
        EXPECT_TRUE(test_every_byte_clean(written[i])) << i;
        EXPECT_EQ(written[i].program, files[i].program) << i;
    }

    // Its index: one line per file, pointing into the file's pilot (for
    // Novaload its very first pulse).
    pulse_window zero{}, one{};
    unsigned zero_units = 0, one_units = 0;
    ASSERT_TRUE(tape_loader_pulse_classes(loader, &zero, &one, &zero_units, &one_units));
    const std::string tap = test_read_file(image), idx = test_read_file(folder.path() + "/c.idx");
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = idx.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(idx.substr(at, end - at));
    ASSERT_EQ(lines.size(), 1 + files.size()) << idx;
    for (size_t i = 0; i < files.size(); ++i) {
        const size_t space = lines[1 + i].find(' ');
        std::string name = files[i].listed_name;
        name.erase(name.find_last_not_of(' ') + 1);
        EXPECT_EQ(lines[1 + i].substr(space + 1), name);
        const size_t offset = std::stoul(lines[1 + i].substr(0, space), nullptr, 16);
        ASSERT_LT(offset, tap.size());
        const unsigned entry = static_cast<unsigned char>(tap[offset]);
        EXPECT_TRUE(entry == zero_units || entry == one_units) << lines[1 + i];
        if (loader == tape_loader_novaload) {
            EXPECT_NE(static_cast<unsigned char>(tap[offset - 1]), zero_units);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Loaders, LoaderPath,
                         testing::Values(tape_loader_tt250, tape_loader_turrican, tape_loader_freeload,
                                         tape_loader_hitload, tape_loader_usgold, tape_loader_microload,
                                         tape_loader_novaload, tape_loader_novaload_special),
                         [](const testing::TestParamInfo<tape_loader> &info) {
                             std::string word = tape_loader_word(info.param);
                             for (char &c : word)
                                 if (c == '-')
                                     c = '_';
                             return word;
                         });

}  // namespace
