#include "tape/tape_health.h"

#include "tape/loader_table.h"
#include "tape/rom_format.h"
#include "tape/tape_time.h"
#include "tape/turbo_format.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// A pulse class: its nominal length in machine cycles and its decoder's
// window in ticks (both ends included).
struct pulse_class {
    double cycles;
    unsigned low;
    unsigned high;
};

// A turbo zero window ends where the one window, tested first, begins.
constexpr unsigned zero_high(const turbo_format &format)
{
    return pulse_window_high_ticks(turbo_zero_window(format));
}

constexpr pulse_class rom_classes[] = {
    {rom_short_cycles, pulse_window_low_ticks(rom_short_pulse), pulse_window_high_ticks(rom_short_pulse)},
    {rom_medium_cycles, pulse_window_low_ticks(rom_medium_pulse), pulse_window_high_ticks(rom_medium_pulse)},
    {rom_long_cycles, pulse_window_low_ticks(rom_long_pulse), pulse_window_high_ticks(rom_long_pulse)},
};
constexpr pulse_class tt250_classes[] = {
    {tt250_format.zero_cycles, pulse_window_low_ticks(tt250_format.zero_pulse), zero_high(tt250_format)},
    {tt250_format.one_cycles, pulse_window_low_ticks(tt250_format.one_pulse), pulse_window_high_ticks(tt250_format.one_pulse)},
};
constexpr pulse_class turrican_classes[] = {
    {turrican_format.zero_cycles, pulse_window_low_ticks(turrican_format.zero_pulse), zero_high(turrican_format)},
    {turrican_format.one_cycles, pulse_window_low_ticks(turrican_format.one_pulse), pulse_window_high_ticks(turrican_format.one_pulse)},
};

// What the recognisers take for a pilot pulse and for a lead-in's zero and
// one: the ROM loader's short window, and the two turbo loaders' windows
// together, in ticks (no aliasing of long samples).
constexpr unsigned pilot_low = pulse_window_low_ticks(rom_short_pulse);
constexpr unsigned pilot_span = pulse_window_high_ticks(rom_short_pulse) - pilot_low;
constexpr unsigned zero_low = pulse_window_low_ticks(tt250_format.zero_pulse);
constexpr unsigned zero_span = pulse_window_low_ticks(turrican_format.one_pulse) - 1 - zero_low;
constexpr unsigned one_low = pulse_window_low_ticks(turrican_format.one_pulse);
constexpr unsigned one_span = pulse_window_high_ticks(tt250_format.one_pulse) - one_low;

// A pilot is judged once 256 of its pulses are summed, and goes to the live
// figures 256 pulses at a time (about a tenth of a second).
constexpr uint64_t pilot_pulses_to_measure = 256;
// A lead-in is judged once 32 of its bytes are summed, and goes to the live
// figures 32 bytes at a time (224 zero pulses, about 50 ms).
constexpr uint64_t lead_in_bytes_to_measure = 32;
constexpr unsigned zeros_per_lead_in_byte = 7;

// A run whose mean lies further than this from its nominal length is not a
// pilot (a drive that far off is beyond adjusting).
constexpr double farthest_speed = 0.14;

// One/zero length ratio that parts the two turbo lead-ins: the geometric mean
// of Turbo Tape 250's (320 / 208) and the Turrican loader's (312 / 216).
const double turbo_ratio_parting = std::sqrt((double(tt250_format.one_cycles) / tt250_format.zero_cycles) *
                                             (double(turrican_format.one_cycles) / turrican_format.zero_cycles));

// Live figures: the newest measured pulses up to a second of their time.
constexpr uint64_t live_ticks = tape_ticks_per_second;
// A file's pilot ends where its header begins; a header found from damaged
// bytes may be placed a little off.
constexpr uint64_t pilot_to_header_ticks = tape_ticks_per_second / 4;

constexpr float most_margin = 99.0f;

enum run_phase : uint8_t {
    run_none,      // no run: waiting for one to begin
    run_pending,   // a run begun, too short yet to be judged
    run_measured,  // a pilot or lead-in: its pulses count
    run_refused,   // pulses of the right kind but of the wrong mean: not counted
};

// A run begins at 8 short pulses in a row (a ROM-loader byte holds two at
// most) or at 2 lead-in bytes in a row; its pulses are summed from there.
constexpr uint32_t pilot_pulses_to_begin = 8;
constexpr uint32_t lead_in_bytes_to_begin = 2;

// The nominal length when samples are half waves: no run is ever near it,
// so nothing is measured.
constexpr double not_measured = 0;

double nominal_of(const tape_health *health, tape_loader format)
{
    return health->nominal_ticks[format];
}

// Turbo Tape 250 and Turrican: the lead-ins this measure follows itself.
bool is_lead_in(tape_loader loader)
{
    return loader == tape_loader_tt250 || loader == tape_loader_turrican;
}

bool near_nominal(double mean_ticks, double nominal)
{
    return nominal > 0 && std::fabs(nominal / mean_ticks - 1) <= farthest_speed;
}

void add_piece(tape_health *health, tape_health_run *run)
{
    tape_health_piece &piece = health->pieces[health->pieces_added % tape_health_pieces];
    piece.sums.pulses = run->sums.pulses - run->flushed.pulses;
    if (piece.sums.pulses == 0)
        return;
    piece.sums.ticks = run->sums.ticks - run->flushed.ticks;
    piece.sums.squares = run->sums.squares - run->flushed.squares;
    piece.format = run->format;
    run->flushed = run->sums;
    ++health->pieces_added;
}

void end_run(tape_health *health, tape_health_run *run, uint64_t end_tick)
{
    if (run->phase == run_measured) {
        add_piece(health, run);
        tape_health_pilot &pilot = health->pilots[health->pilots_added % tape_health_pilots];
        pilot.sums = run->sums;
        pilot.start_tick = run->start_tick;
        pilot.end_tick = end_tick;
        pilot.format = run->format;
        ++health->pilots_added;
    }
    *run = tape_health_run{};
}

// Every 256th pulse of a pilot: judged once, then handed on.
void pilot_stretch(tape_health *health)
{
    tape_health_run &run = health->rom;
    if (run.phase == run_pending) {
        const double mean = double(run.sums.ticks) / double(run.sums.pulses);
        run.format = tape_loader_rom;
        const bool in_a_mimics_data = (health->files_open & health->rom_mimics) != 0;
        run.phase = near_nominal(mean, nominal_of(health, tape_loader_rom)) && !in_a_mimics_data ? run_measured
                                                                                                 : run_refused;
    }
    if (run.phase == run_measured)
        add_piece(health, &run);
}

// Every 32nd lead-in byte: which loader wrote it, told again from all its
// bytes so far; judged once; then handed on.
void lead_in_stretch(tape_health *health)
{
    tape_health_run &run = health->turbo;
    const double zero = double(run.sums.ticks) / double(run.sums.pulses);
    const double one = double(health->one_ticks) / double(health->lead_in_bytes);
    run.format = one / zero > turbo_ratio_parting ? tape_loader_tt250 : tape_loader_turrican;
    if (run.phase == run_pending)
        run.phase = near_nominal(zero, nominal_of(health, run.format)) ? run_measured : run_refused;
    if (run.phase == run_measured)
        add_piece(health, &run);
}

void end_lead_in(tape_health *health, uint64_t end_tick)
{
    end_run(health, &health->turbo, end_tick);
    health->lead_in_bytes = 0;
    health->one_ticks = 0;
    health->byte_ticks = 0;
    health->byte_squares = 0;
}

// The other turbo loaders' classes, from their rows.
std::size_t row_classes(tape_loader format, pulse_class *classes)
{
    pulse_window zero{}, one{};
    unsigned zero_units = 0, one_units = 0;
    if (!tape_loader_pulse_classes(format, &zero, &one, &zero_units, &one_units))
        return 0;
    classes[0] = {double(zero_units * 8), pulse_window_low_ticks(zero),
                  std::min(pulse_window_high_ticks(zero), pulse_window_low_ticks(one) - 1)};
    classes[1] = {double(one_units * 8), pulse_window_low_ticks(one), pulse_window_high_ticks(one)};
    return 2;
}

const pulse_class *classes_of(tape_loader format, std::size_t *count, pulse_class *room)
{
    if (format != tape_loader_rom && format != tape_loader_tt250 && format != tape_loader_turrican) {
        *count = row_classes(format, room);
        return room;
    }
    switch (format) {
    case tape_loader_tt250:
        *count = std::size(tt250_classes);
        return tt250_classes;
    case tape_loader_turrican:
        *count = std::size(turrican_classes);
        return turrican_classes;
    default:
        break;
    }
    *count = std::size(rom_classes);
    return rom_classes;
}

// Figures from sums of pulse lengths divided by their nominal lengths: n
// pulses, their sum and their sum of squares.
void set_figures(const tape_health *health, tape_loader format, double pulses, double ratios, double squares,
                 tape_health_figures *figures)
{
    const double mean = ratios / pulses;
    const double deviation = std::sqrt(std::max(0.0, squares / pulses - mean * mean));
    figures->pulses = uint32_t(std::min(pulses, double(UINT32_MAX)));
    figures->format = format;
    figures->speed_percent = float(100 * (1 / mean - 1));
    figures->spread_percent = float(100 * deviation / mean);

    // The scatter in ticks, as the measured pulses show it.
    const double jitter = deviation * nominal_of(health, format);
    std::size_t count = 0;
    pulse_class room[2];
    const pulse_class *classes = classes_of(format, &count, room);
    double margin = most_margin;
    for (std::size_t i = 0; i < count; ++i) {
        const double expected = classes[i].cycles * tape_ticks_per_second / health->clock_hz * mean;
        const double room = std::min(expected - classes[i].low, classes[i].high - expected);
        const double sigmas = jitter > 0 ? room / jitter : room >= 0 ? most_margin : -most_margin;
        margin = std::min(margin, sigmas);
    }
    figures->margin = float(std::max(-double(most_margin), margin));
}

void set_figures_of_sums(const tape_health *health, tape_loader format, const tape_health_sums &sums,
                         tape_health_figures *figures)
{
    const double nominal = nominal_of(health, format);
    set_figures(health, format, double(sums.pulses), double(sums.ticks) / nominal,
                double(sums.squares) / (nominal * nominal), figures);
}

}  // namespace

tape_health_colour tape_health_colour_of(const tape_health_figures *figures)
{
    if (figures->margin >= tape_health_margin_green)
        return tape_health_green;
    return figures->margin >= tape_health_margin_yellow ? tape_health_yellow : tape_health_red;
}

double tape_health_shown_percent(float percent)
{
    const double shown = std::round(double(percent) * 10) / 10;
    return shown == 0 ? 0 : shown;
}

void tape_health_init(tape_health *health, double clock_hz, int half_waves)
{
    *health = tape_health{};
    health->clock_hz = clock_hz;
    const double ticks_per_cycle = double(tape_ticks_per_second) / clock_hz;
    health->nominal_ticks[tape_loader_rom] = half_waves ? not_measured : rom_short_cycles * ticks_per_cycle;
    health->nominal_ticks[tape_loader_tt250] = half_waves ? not_measured : tt250_format.zero_cycles * ticks_per_cycle;
    health->nominal_ticks[tape_loader_turrican] =
        half_waves ? not_measured : turrican_format.zero_cycles * ticks_per_cycle;
    for (unsigned loader = tape_loader_turrican + 1; loader < tape_loader_count; ++loader) {
        pulse_window zero{}, one{};
        unsigned zero_units = 0, one_units = 0;
        if (!half_waves && tape_loader_pulse_classes(tape_loader(loader), &zero, &one, &zero_units, &one_units))
            health->nominal_ticks[loader] = zero_units * 8 * ticks_per_cycle;
        if (near_nominal(health->nominal_ticks[loader], health->nominal_ticks[tape_loader_rom]))
            health->rom_mimics |= 1u << loader;
    }
}

void tape_health_file_open(tape_health *health, tape_loader loader, bool open)
{
    if (open)
        health->files_open |= 1u << loader;
    else
        health->files_open &= ~(1u << loader);
}

namespace {

// One sample, any state.
void step(tape_health *health, unsigned sample, uint64_t tick)
{
    tape_health_run &pilot = health->rom;
    const unsigned is_short = sample - pilot_low <= pilot_span;
    health->shorts = (health->shorts + 1) & (0u - is_short);
    if (pilot.phase == run_none && health->shorts == pilot_pulses_to_begin) {
        pilot.phase = run_pending;
        pilot.start_tick = tick;
    }
    if (pilot.phase != run_none) {
        if (is_short) {
            ++pilot.sums.pulses;
            pilot.sums.ticks += sample;
            pilot.sums.squares += uint64_t(sample) * sample;
            health->rom_strays = 0;
            if (pilot.sums.pulses % pilot_pulses_to_measure == 0)
                pilot_stretch(health);
        } else if (pilot.phase != run_measured || ++health->rom_strays == 2) {
            // A measured pilot outlasts a single stray pulse; its end is a
            // byte marker's two.
            end_run(health, &pilot, tick);
            health->rom_strays = 0;
        }
    }

    // Lead-in bytes 0x02: seven zero pulses between one pulses.
    tape_health_run &lead_in = health->turbo;
    const unsigned is_zero = sample - zero_low <= zero_span;
    const unsigned is_one = sample - one_low <= one_span;
    const unsigned byte_done = is_one & (health->zeros == zeros_per_lead_in_byte);
    health->zeros = (health->zeros + 1) & (0u - is_zero);
    if (lead_in.phase == run_none) {
        // Lead-in bytes in a row: a zero keeps the count, a finished byte
        // adds one, anything else starts it again.
        health->lead_in_bytes = (health->lead_in_bytes + byte_done) & (0u - (is_zero | byte_done));
        if (health->lead_in_bytes == lead_in_bytes_to_begin) {
            lead_in.phase = run_pending;
            lead_in.start_tick = tick + sample;
            health->lead_in_bytes = 0;
        }
    } else if (is_zero) {
        health->byte_ticks += sample;
        health->byte_squares += uint64_t(sample) * sample;
    } else if (byte_done) {
        ++health->lead_in_bytes;
        lead_in.sums.pulses += zeros_per_lead_in_byte;
        lead_in.sums.ticks += health->byte_ticks;
        lead_in.sums.squares += health->byte_squares;
        health->one_ticks += sample;
        health->byte_ticks = 0;
        health->byte_squares = 0;
        if (health->lead_in_bytes % lead_in_bytes_to_measure == 0)
            lead_in_stretch(health);
    } else {
        end_lead_in(health, tick - health->byte_ticks);
    }
}

// Outside any run (nearly every sample of a tape that is not a pilot): only
// the pulses in a row are counted, in local variables and without branching
// on each pulse's class. Takes samples from `at` until one would begin a run
// (left for step) or none are left; returns where it stopped.
std::size_t count_outside_runs(tape_health *health, const unsigned short *samples, std::size_t at,
                               std::size_t count, uint64_t *tick)
{
    uint32_t shorts = health->shorts, zeros = health->zeros, bytes = health->lead_in_bytes;
    uint64_t ticks = *tick;
    for (; at < count; ++at) {
        const unsigned sample = samples[at];
        const unsigned is_short = sample - pilot_low <= pilot_span;
        const unsigned is_zero = sample - zero_low <= zero_span;
        const unsigned is_one = sample - one_low <= one_span;
        const unsigned byte_done = is_one & (zeros == zeros_per_lead_in_byte);
        const uint32_t next_shorts = (shorts + 1) & (0u - is_short);
        const uint32_t next_bytes = (bytes + byte_done) & (0u - (is_zero | byte_done));
        if (next_shorts == pilot_pulses_to_begin || next_bytes == lead_in_bytes_to_begin)
            break;
        shorts = next_shorts;
        bytes = next_bytes;
        zeros = (zeros + 1) & (0u - is_zero);
        ticks += sample;
    }
    health->shorts = shorts;
    health->zeros = zeros;
    health->lead_in_bytes = bytes;
    *tick = ticks;
    return at;
}

}  // namespace

void tape_health_feed(tape_health *health, const unsigned short *samples, std::size_t count)
{
    uint64_t tick = health->tick;
    std::size_t at = 0;
    while (at < count) {
        if (health->rom.phase == run_none && health->turbo.phase == run_none) {
            at = count_outside_runs(health, samples, at, count, &tick);
            if (at == count)
                break;
        }
        step(health, samples[at], tick);
        tick += samples[at++];
    }
    health->tick = tick;
}

void tape_health_live(const tape_health *health, tape_health_figures *figures)
{
    *figures = tape_health_figures{};
    const uint64_t kept = std::min<uint64_t>(health->pieces_added, tape_health_pieces);
    if (kept == 0)
        return;
    double pulses = 0, ratios = 0, squares = 0;
    uint64_t ticks = 0;
    for (uint64_t back = 1; back <= kept && ticks < live_ticks; ++back) {
        const tape_health_piece &piece = health->pieces[(health->pieces_added - back) % tape_health_pieces];
        const double nominal = nominal_of(health, piece.format);
        pulses += double(piece.sums.pulses);
        ratios += double(piece.sums.ticks) / nominal;
        squares += double(piece.sums.squares) / (nominal * nominal);
        ticks += piece.sums.ticks;
    }
    const tape_loader newest = health->pieces[(health->pieces_added - 1) % tape_health_pieces].format;
    set_figures(health, newest, pulses, ratios, squares, figures);
}

void tape_health_add_pilot(tape_health *health, tape_loader loader, uint64_t pulses, uint64_t ticks,
                           uint64_t squares, uint64_t header_tick)
{
    if (loader == tape_loader_rom || is_lead_in(loader) || pulses == 0 ||
        !near_nominal(double(ticks) / double(pulses), nominal_of(health, loader)))
        return;
    tape_health_piece &piece = health->pieces[health->pieces_added % tape_health_pieces];
    piece.sums = {pulses, ticks, squares};
    piece.format = loader;
    ++health->pieces_added;
    tape_health_pilot &pilot = health->pilots[health->pilots_added % tape_health_pilots];
    pilot.sums = piece.sums;
    pilot.start_tick = header_tick > ticks ? header_tick - ticks : 0;
    pilot.end_tick = header_tick;
    pilot.format = loader;
    ++health->pilots_added;
}

namespace {

// The pilot or lead-in of the file of that loader whose header begins at
// tick, or nullptr.
const tape_health_pilot *pilot_of(const tape_health *health, tape_loader loader, uint64_t tick)
{
    const uint64_t kept = std::min<uint64_t>(health->pilots_added, tape_health_pilots);
    for (uint64_t back = 1; back <= kept; ++back) {
        const tape_health_pilot &pilot = health->pilots[(health->pilots_added - back) % tape_health_pilots];
        // The two lead-ins are told apart by their pulses; the file's
        // loader knows for sure.
        const bool same_kind = pilot.format == loader || (is_lead_in(pilot.format) && is_lead_in(loader));
        const uint64_t apart = pilot.end_tick > tick ? pilot.end_tick - tick : tick - pilot.end_tick;
        if (same_kind && pilot.start_tick <= tick && apart <= pilot_to_header_ticks)
            return &pilot;
    }
    return nullptr;
}

}  // namespace

void tape_health_file(const tape_health *health, tape_loader loader, uint64_t tick, tape_health_figures *figures)
{
    *figures = tape_health_figures{};
    if (const tape_health_pilot *pilot = pilot_of(health, loader, tick))
        set_figures_of_sums(health, loader, pilot->sums, figures);
}
