#include "health_tapes.h"

#include "tape/loader_table.h"
#include "tape/rom_format.h"
#include "tape_synth.h"

#include <algorithm>
#include <cmath>

namespace {

double ticks_of(double cycles, double clock_hz)
{
    return cycles * 2000000 / clock_hz;
}

// Starts a synthesizer whose measured pulse (centred at `centre` ticks) lies
// at `nominal` ticks, with the scatter asked for; returns the figures the
// tape will show once played at `speed`.
health_tape start(tape_synth *synth, unsigned centre, double nominal, double speed, double jitter_percent)
{
    const long written = std::lround(nominal);
    const int jitter = int(std::lround(std::sqrt(3.0) * jitter_percent / 100 * nominal));
    tape_synth_init(synth, int(written - long(centre)), jitter, 7);
    // A discrete uniform scatter over -j..j has the variance j(j+1)/3.
    return {{}, 100 * (nominal * speed / double(written) - 1),
            100 * std::sqrt(jitter * (jitter + 1) / 3.0) / double(written)};
}

void play_at(std::vector<unsigned short> *samples, double speed)
{
    for (unsigned short &sample : *samples)
        sample = static_cast<unsigned short>(std::min(65535.0, std::round(sample / speed)));
}

const unsigned char program[300] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1'};

}  // namespace

health_tape health_rom_tape(double speed, double jitter_percent, double clock_hz)
{
    tape_synth synth;
    health_tape made = start(&synth, tape_rom_short_ticks, ticks_of(rom_short_cycles, clock_hz), speed, jitter_percent);
    tape_rom_program(&synth, tape_name_field("HEALTH"), 0x0801, program, sizeof program);
    made.samples = synth.samples;
    play_at(&made.samples, speed);
    return made;
}

health_tape health_turbo_tape(bool turrican, double speed, double jitter_percent)
{
    const tape_turbo_format &format = turrican ? tape_turrican : tape_tt250;
    const double zero_cycles = format.row.zero_units * 8.0;
    tape_synth synth;
    health_tape made =
        start(&synth, format.zero_ticks, ticks_of(zero_cycles, health_pal_c64_hz), speed, jitter_percent);
    tape_turbo_header(&synth, format, tape_turbo_lead_in, 1, 0x0801, 0x0801 + sizeof program,
                      tape_name_field("HEALTH"));
    tape_synth_gap(&synth, 20000);
    tape_turbo_data(&synth, format, tape_turbo_lead_in, program, sizeof program);
    made.samples = synth.samples;
    play_at(&made.samples, speed);
    return made;
}

health_tape health_loader_tape(tape_loader loader, double speed, double jitter_percent, bool zero_data)
{
    pulse_window zero{}, one{};
    unsigned zero_units = 0, one_units = 0;
    tape_loader_pulse_classes(loader, &zero, &one, &zero_units, &one_units);
    tape_synth synth;
    health_tape made = start(&synth, pilot_ticks_of_units(zero_units), ticks_of(zero_units * 8.0, health_pal_c64_hz),
                             speed, jitter_percent);
    std::vector<unsigned char> data(loader == tape_loader_novaload_special ? 256 : sizeof program);
    for (size_t i = 0; i < data.size() && !zero_data; ++i)
        data[i] = static_cast<unsigned char>(0x5A ^ (i * 37));
    tape_loader_file(&synth, loader, tape_name_field("HEALTH"), 0x0800, data.data(), data.size());
    made.samples = synth.samples;
    play_at(&made.samples, speed);
    return made;
}

