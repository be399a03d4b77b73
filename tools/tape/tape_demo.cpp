#include "tape_demo.h"

#include "tape_synth.h"
#include "tape/tape_time.h"

#include <iterator>

namespace {

constexpr unsigned demo_header_pilot = 8000;
constexpr unsigned demo_data_pilot = 5400;
constexpr unsigned silence_ticks = 65535;
// A good drive scatters a tape's pulses by about 1 %: a uniform jitter of
// +-10 ticks (a standard deviation of 6 ticks: 0.8 % of a ROM loader short
// pulse, 1.4 % of a Turbo Tape 250 zero) keeps every pulse class many
// standard deviations inside its window, a green gauge.
constexpr int good_drive_jitter_ticks = 10;
// The Turrican loader file is recorded as a worn tape plays: +-35 ticks
// (about 5 %). Every pulse still lies in its window, so it reads, but the
// windows' edges are only about four standard deviations away: a yellow
// gauge, the sign to clean the head or turn its azimuth screw.
constexpr int worn_jitter_ticks = 35;
constexpr uint32_t demo_seed = 0x5EED7;

constexpr unsigned basic_start = 0x0801;
// 10 PRINT "ZR7K8 DEMO": next-line link, line number, PRINT token, text, end of
// line, end of program. The first byte (0x14) is no header type, so the ROM
// decoder does not take the data block for a header.
const unsigned char demo_program[] = {
    0x14, 0x08, 0x0A, 0x00, 0x99, 0x20, 0x22, 'Z', 'R', '7', 'K', '8', ' ',
    'D',  'E',  'M',  'O',  0x22, 0x00, 0x00, 0x00,
};
constexpr unsigned basic_end = basic_start + sizeof demo_program;

void silence(tape_synth *synth)
{
    tape_synth_gap(synth, silence_ticks);
}

void demo_turbo_file(tape_synth *synth, const tape_turbo_format &format, const char *name)
{
    tape_turbo_header(synth, format, tape_turbo_lead_in, tape_turbo_header_id, basic_start, basic_end,
                      tape_name_field(name));
    silence(synth);
    tape_turbo_data(synth, format, tape_turbo_lead_in, demo_program, sizeof demo_program);
    silence(synth);
}

}  // namespace

const char *const tape_demo_names[3] = {"DEMO ROM", "DEMO TURBO", "DEMO TURRICAN"};

std::vector<unsigned short> tape_demo_samples(void)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, good_drive_jitter_ticks, demo_seed);
    silence(&synth);
    tape_rom_header(&synth, demo_header_pilot, 1, basic_start, basic_end, tape_name_field(tape_demo_names[0]));
    silence(&synth);
    tape_rom_block(&synth, demo_data_pilot, demo_program, sizeof demo_program);
    silence(&synth);
    demo_turbo_file(&synth, tape_tt250, tape_demo_names[1]);
    synth.jitter_ticks = worn_jitter_ticks;
    demo_turbo_file(&synth, tape_turrican, tape_demo_names[2]);
    return synth.samples;
}

namespace {

// The other loaders' files on the every-format tape, after the demo tape's.
struct loader_file_on_tape {
    tape_loader loader;
    unsigned start;
};
constexpr loader_file_on_tape other_loaders[] = {
    {tape_loader_freeload, 0x1000},  {tape_loader_hitload, 0x2000},   {tape_loader_usgold, 0x0801},
    {tape_loader_microload, 0x3000}, {tape_loader_novaload, 0x0801}, {tape_loader_novaload_special, 0xC000},
};
static_assert(std::size(other_loaders) + 3 == tape_loader_count, "a loader left off the every-format tape");

}  // namespace

const char *const tape_demo_every_format_names[tape_loader_count] = {
    "DEMO ROM",    "DEMO TURBO",  "DEMO TURRICAN", "$1000-$1015",
    "$2000-$2015", "DEMO US GOLD", "$3000-$3015",  "DEMO NOVALOAD",
    "$C000-$C100",
};

std::vector<unsigned short> tape_demo_every_format_samples(void)
{
    tape_synth synth;
    tape_synth_init(&synth, 0, good_drive_jitter_ticks, demo_seed);
    synth.samples = tape_demo_samples();
    std::vector<unsigned char> page(demo_program, demo_program + sizeof demo_program);
    page.resize(256);
    for (const loader_file_on_tape &file : other_loaders) {
        const bool special = file.loader == tape_loader_novaload_special;
        const std::vector<unsigned char> data =
            special ? page : std::vector<unsigned char>(std::begin(demo_program), std::end(demo_program));
        tape_loader_file(&synth, file.loader, tape_name_field(tape_demo_every_format_names[file.loader]), file.start,
                         data.data(), data.size());
        silence(&synth);
    }
    return synth.samples;
}

std::vector<unsigned short> tape_demo_samples_lasting(unsigned long long seconds)
{
    const std::vector<unsigned short> demo = tape_demo_samples();
    std::vector<unsigned short> tape;
    unsigned long long ticks = 0;
    while (ticks < seconds * tape_ticks_per_second) {
        for (unsigned short sample : demo)
            ticks += sample;
        tape.insert(tape.end(), demo.begin(), demo.end());
    }
    return tape;
}
