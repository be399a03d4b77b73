// The Turbo Tape 250 and Turrican loader decoders: one state machine with two
// constant tables, so every test runs against both, each with its own edges.
#include "tape_synth.h"
#include "tape_testing.h"
#include "tape/tt250.h"
#include "tape/turrican.h"

#include <gtest/gtest.h>

namespace {

struct turbo_case {
    const char *label;
    decoder_function decoder;
    const tape_turbo_format *format;
    const tape_turbo_format *other;
    unsigned char one_first, one_last;   // pulse bytes that read 1
    unsigned char zero_first, zero_last; // pulse bytes that read 0
};

const turbo_case tt250_case{"Tt250", tt250_loader_find_name, &tape_tt250, &tape_turrican, 67, 95, 39, 66};
const turbo_case turrican_case{"Turrican", turrican_loader_find_name, &tape_turrican, &tape_tt250, 68, 94, 42, 67};

void PrintTo(const turbo_case &c, std::ostream *out) { *out << c.label; }

const std::array<unsigned char, 16> game_name = tape_name_field("GAME");
constexpr unsigned invalid_pulse = 0;

class TurboDecoder : public testing::TestWithParam<turbo_case> {
protected:
    const turbo_case &c() const { return GetParam(); }

    std::vector<unsigned char> header(unsigned lead_in = 1000, unsigned char id = 1,
                                      unsigned start = 0x0801, unsigned end = 0x0900,
                                      const tape_turbo_format *format = nullptr) const
    {
        tape_synth synth;
        tape_synth_init(&synth);
        tape_turbo_header(&synth, format ? *format : *c().format, lead_in, id, start, end, game_name);
        return pulse_bytes(synth.samples);
    }

    std::vector<unsigned char> bytes(std::initializer_list<unsigned char> values, unsigned repeat = 1) const
    {
        tape_synth synth;
        tape_synth_init(&synth);
        for (unsigned i = 0; i < repeat; ++i)
            for (unsigned char value : values)
                tape_turbo_byte(&synth, *c().format, value);
        return pulse_bytes(synth.samples);
    }

    // Index of the first pulse of name byte `n` in header(lead_in).
    size_t name_byte(unsigned lead_in, unsigned n) const
    {
        return (lead_in + c().format->row.sync_first + 1u + c().format->row.name_at + n) * 8u;
    }

    std::vector<decoded_name> decode(const std::vector<unsigned char> &pulses) const
    {
        return run_decoder(c().decoder, pulses);
    }
};

TEST_P(TurboDecoder, SynthesizedHeaderGivesItsNameOnThePulseAfterTheLastNameBit)
{
    const auto found = decode(header());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].raw, game_name);
    EXPECT_EQ(found[0].at, name_byte(1000, 16));
}

// The last bit of the first name byte ('G', 0x47) is carried by the pulse
// under test.
TEST_P(TurboDecoder, PulseClassEdges)
{
    auto first_name_byte_with_last_bit = [&](unsigned char pulse) {
        std::vector<unsigned char> pulses = header();
        pulses[name_byte(1000, 0) + 7] = pulse;
        const auto found = decode(pulses);
        return found.size() == 1 ? int{found[0].raw[0]} : -1;
    };
    EXPECT_EQ(first_name_byte_with_last_bit(c().one_first), 0x47);
    EXPECT_EQ(first_name_byte_with_last_bit(c().one_last), 0x47);
    EXPECT_EQ(first_name_byte_with_last_bit(c().zero_first), 0x46);
    EXPECT_EQ(first_name_byte_with_last_bit(c().zero_last), 0x46);
    EXPECT_EQ(first_name_byte_with_last_bit(c().zero_first - 1), -1);
    EXPECT_EQ(first_name_byte_with_last_bit(c().one_last + 1), -1);
}

TEST_P(TurboDecoder, LeadInOf959BytesOpensAHeaderAnd958DoNot)
{
    EXPECT_EQ(decode(header(959)).size(), 1u);
    EXPECT_TRUE(decode(header(958)).empty());
}

TEST_P(TurboDecoder, OtherFormatsSyncTrainFails)
{
    EXPECT_TRUE(decode(header(1000, 1, 0x0801, 0x0900, c().other)).empty());
}

TEST_P(TurboDecoder, EverySyncByteIsChecked)
{
    const unsigned sync = c().format->row.sync_first;
    for (unsigned byte = 0; byte < sync; ++byte) {
        std::vector<unsigned char> pulses = header();
        // Flip the lowest bit of the sync byte.
        unsigned char &last_bit = pulses[(1000 + byte) * 8 + 7];
        last_bit = last_bit >= c().one_first ? c().zero_first : c().one_first;
        EXPECT_TRUE(decode(pulses).empty()) << "sync byte " << byte;
    }
}

TEST_P(TurboDecoder, IdentifiersOneAndTwoAreAcceptedOthersRefused)
{
    EXPECT_EQ(decode(header(1000, 1)).size(), 1u);
    EXPECT_EQ(decode(header(1000, 2)).size(), 1u);
    for (unsigned char id : {0, 3, 0x81})
        EXPECT_TRUE(decode(header(1000, id)).empty()) << "identifier " << int{id};
}

TEST_P(TurboDecoder, BytesBetweenIdentifierAndNameMayHoldAnything)
{
    // Lead-in and sync values where the decoder must not look.
    const auto found = decode(header(1000, 1, 0x0202, 0x0109));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].raw, game_name);
}

TEST_P(TurboDecoder, InvalidPulsesCountAsZeroBitsWhileSearchingForAlignment)
{
    // 0,0,0,0,0,0,1,0 with invalid pulses for the zeros is the first lead-in
    // byte, so 958 more make a lead-in of 959.
    auto with_lead_in = [&](unsigned more) {
        std::vector<unsigned char> pulses(6, invalid_pulse);
        pulses.push_back(c().one_first);
        pulses.push_back(invalid_pulse);
        const std::vector<unsigned char> rest = header(more);
        pulses.insert(pulses.end(), rest.begin(), rest.end());
        return decode(pulses).size();
    };
    EXPECT_EQ(with_lead_in(958), 1u);
    EXPECT_EQ(with_lead_in(957), 0u);
}

TEST_P(TurboDecoder, InvalidPulseInTheLeadInStartsTheCountAgain)
{
    std::vector<unsigned char> late = header(1000);
    late[(1000 - 100) * 8 + 3] = invalid_pulse;
    EXPECT_TRUE(decode(late).empty());

    std::vector<unsigned char> early = header(1100);
    early[100 * 8 + 3] = invalid_pulse;
    EXPECT_EQ(decode(early).size(), 1u);
}

TEST_P(TurboDecoder, InvalidPulseInTheHeaderAbandonsIt)
{
    std::vector<unsigned char> pulses = header();
    pulses[name_byte(1000, 15) + 7] = invalid_pulse;
    EXPECT_TRUE(decode(pulses).empty());
}

TEST_P(TurboDecoder, RestartStartsFromThisPulsesBitAlone)
{
    const std::vector<unsigned char> lead_in = bytes({0x02}, 1000);
    const std::vector<unsigned char> rest = header(0);
    unsigned char name[17] = {};
    auto feed = [&](int restart_in_lead_in) {
        c().decoder(invalid_pulse, name, 1);
        int found = 0;
        for (size_t at = 0; at < lead_in.size(); ++at)
            found += c().decoder(lead_in[at], name, restart_in_lead_in && at == lead_in.size() - 8 * 50);
        for (unsigned char pulse : rest)
            found += c().decoder(pulse, name, 0);
        return found;
    };
    EXPECT_EQ(feed(0), 1);
    EXPECT_EQ(feed(1), 0) << "only the last 50 lead-in bytes count after a restart";
}

TEST_P(TurboDecoder, RestartOnAOnePulseLeavesThatBitInTheRegister)
{
    // After a restart on a 1, six 0 bits and one more 0 bit complete 0x02
    // only if the restart pulse's bit stayed; the lead-in then counts 959.
    auto found_after_restart_on = [&](unsigned char restart_pulse) {
        unsigned char name[17] = {};
        c().decoder(restart_pulse, name, 1);
        const std::vector<unsigned char> zero_bit = bytes({0x00});
        int found = 0;
        found += c().decoder(zero_bit[0], name, 0);
        const std::vector<unsigned char> rest = header(958);
        for (unsigned char pulse : rest)
            found += c().decoder(pulse, name, 0);
        return found;
    };
    // Register after restart on a 1 and one 0: 0b10, the first lead-in byte.
    EXPECT_EQ(found_after_restart_on(c().one_first), 1);
    EXPECT_EQ(found_after_restart_on(c().zero_first), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, TurboDecoder, testing::Values(tt250_case, turrican_case),
                         [](const testing::TestParamInfo<turbo_case> &info) { return info.param.label; });

}  // namespace
