#include "tape/tape_unread.h"

#include <algorithm>
#include <limits>

namespace {

constexpr uint64_t no_limit = std::numeric_limits<uint64_t>::max();
constexpr uint32_t dense_pulses =
    uint32_t(uint64_t(tape_unread_min_pulses_per_second) * tape_unread_window_ticks / 2000000);

bool usable(unsigned short sample)
{
    return sample >= tape_unread_shortest_ticks && sample < tape_unread_longest_ticks;
}

bool by_first(const tape_unread_span &a, const tape_unread_span &b)
{
    return a.first < b.first;
}

// Whether a file's span reaches into (from, to).
bool file_between(const tape_unread *u, uint64_t from, uint64_t to)
{
    for (const tape_unread_span &span : u->files)
        if (span.first < to && span.end > from)
            return true;
    return false;
}

// The parts of the run that no file's span covers, appended to pieces.
void uncovered(const tape_unread *u, tape_unread_span run, std::vector<tape_unread_span> *pieces)
{
    std::vector<tape_unread_span> covering;
    for (const tape_unread_span &span : u->files)
        if (span.first < run.end && span.end > run.first)
            covering.push_back(span);
    std::sort(covering.begin(), covering.end(), by_first);
    uint64_t at = run.first;
    for (const tape_unread_span &span : covering) {
        if (span.first > at)
            pieces->push_back({at, span.first});
        at = std::max(at, span.end);
    }
    if (at < run.end)
        pieces->push_back({at, run.end});
}

// Reports what of one stretch's runs no file covers: neighbouring pieces
// with no file between them make one stretch unread.
void report_runs(const tape_unread *u, const std::vector<tape_unread_span> &runs)
{
    std::vector<tape_unread_span> pieces;
    for (const tape_unread_span &run : runs)
        uncovered(u, run, &pieces);
    auto report = [u](const tape_unread_span &piece) {
        if (piece.end - piece.first <= tape_unread_min_ticks || !u->sink)
            return;
        const tape_unread_stretch stretch{piece.first, piece.end - piece.first};
        u->sink(u->context, &stretch);
    };
    for (size_t i = 0; i < pieces.size();) {
        tape_unread_span joined = pieces[i++];
        while (i < pieces.size() && !file_between(u, joined.end, pieces[i].first))
            joined.end = pieces[i++].end;
        report(joined);
    }
}

// Reports what of the runs lies before `to` and keeps the rest; `to` is a
// file's beginning or lies past them all, so no piece goes on across it.
void settle_runs(const tape_unread *u, std::vector<tape_unread_span> *runs, uint64_t to)
{
    std::vector<tape_unread_span> before;
    size_t kept = 0;
    for (tape_unread_span run : *runs) {
        if (run.first < to)
            before.push_back({run.first, std::min(run.end, to)});
        if (run.end > to) {
            run.first = std::max(run.first, to);
            (*runs)[kept++] = run;
        }
    }
    runs->resize(kept);
    report_runs(u, before);
}

// Before where no file yet unknown can begin and no file being read can
// reach: nothing there can be claimed any more.
uint64_t settled_to(const tape_unread *u)
{
    uint64_t settled = u->last_first;
    for (const std::vector<tape_unread_span> &stretch : u->ended)
        if (stretch.back().end <= u->ended_listed)
            settled = std::max(settled, stretch.back().end);
    for (const size_t at : u->open)
        settled = std::min(settled, u->files[at].first);
    return settled;
}

void settle(tape_unread *u, uint64_t to)
{
    for (std::vector<tape_unread_span> &stretch : u->ended)
        settle_runs(u, &stretch, to);
    u->ended.erase(std::remove_if(u->ended.begin(), u->ended.end(),
                                  [](const std::vector<tape_unread_span> &runs) { return runs.empty(); }),
                   u->ended.end());
    // A growing stretch's run still growing settles only up to a file's
    // beginning inside it.
    if (!u->growing.empty() && (!u->run_open || to < u->growing.back().end))
        settle_runs(u, &u->growing, to);
}

void end_growing(tape_unread *u)
{
    u->run_open = false;
    if (u->growing.empty())
        return;
    u->ended.push_back(std::move(u->growing));
    u->growing.clear();
}

// One window has been counted, dense or not.
void take_window(tape_unread *u, bool dense)
{
    if (dense) {
        if (!u->run_open)
            u->growing.push_back({u->window_first, u->window_end});
        u->growing.back().end = u->window_end;
        u->run_open = true;
        u->quiet_windows = 0;
        return;
    }
    u->run_open = false;
    if (!u->growing.empty() && ++u->quiet_windows >= tape_unread_gap_windows) {
        end_growing(u);
        settle(u, settled_to(u));
    }
}

// Closes the window being counted and any that passed without a pulse
// beginning in them, up to the window `next`.
void close_windows(tape_unread *u, uint64_t next)
{
    take_window(u, u->usable > dense_pulses && 3 * u->unusable <= u->usable);
    for (uint64_t empty = 0; empty + 1 < next - u->window && empty < tape_unread_gap_windows; ++empty)
        take_window(u, false);
    u->window = next;
    u->usable = 0;
    u->unusable = 0;
}

}  // namespace

void tape_unread_init(tape_unread *u, tape_unread_sink sink, void *context)
{
    u->sink = sink;
    u->context = context;
    u->tick = 0;
    u->window = 0;
    u->window_closes = tape_unread_window_ticks;
    u->usable = 0;
    u->unusable = 0;
    u->window_first = 0;
    u->window_end = 0;
    u->growing.clear();
    u->run_open = false;
    u->quiet_windows = 0;
    u->ended.clear();
    u->ended_listed = 0;
    u->files.clear();
    u->open.clear();
    u->last_first = 0;
}

void tape_unread_feed(tape_unread *u, const unsigned short *samples, std::size_t count)
{
    // The window's counts in local variables, written back only where a
    // window closes: every pulse of the tape passes here.
    uint64_t tick = u->tick;
    uint64_t window_closes = u->window_closes;
    uint32_t usable_pulses = u->usable;
    uint32_t unusable_pulses = u->unusable;
    uint64_t window_first = u->window_first;
    uint64_t window_end = u->window_end;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned short sample = samples[i];
        if (tick >= window_closes) {
            u->usable = usable_pulses;
            u->unusable = unusable_pulses;
            u->window_first = window_first;
            u->window_end = window_end;
            close_windows(u, tick / tape_unread_window_ticks);
            u->window_closes = window_closes = (u->window + 1) * tape_unread_window_ticks;
            usable_pulses = u->usable;
            unusable_pulses = u->unusable;
        }
        // Without branches: on a noisy stretch whether a pulse is usable
        // follows no pattern a processor could predict (the end is selected
        // through a mask, which no compiler turns back into a branch).
        const bool use = usable(sample);
        const uint64_t use_mask = 0 - uint64_t{use};
        window_first = use && usable_pulses == 0 ? tick : window_first;
        window_end = ((tick + sample) & use_mask) | (window_end & ~use_mask);
        usable_pulses += use;
        unusable_pulses += !use;
        tick += sample;
    }
    u->tick = tick;
    u->usable = usable_pulses;
    u->unusable = unusable_pulses;
    u->window_first = window_first;
    u->window_end = window_end;
}

void tape_unread_file(tape_unread *u, const tape_file_event *record)
{
    if (record->sequence == 0)
        return;
    const size_t at = record->sequence - 1;
    if (at >= u->files.size())
        u->files.resize(at + 1, tape_unread_span{0, 0});
    // The tape ended inside a file cut short: all of its end is the file's.
    const uint64_t end = record->verdict == tape_verdict_cut_short ? no_limit : record->end_tick;
    u->files[at] = {record->first_tick, std::max(record->first_tick, end)};
    const auto listed = std::find(u->open.begin(), u->open.end(), at);
    if (record->verdict != tape_verdict_reading && listed != u->open.end())
        u->open.erase(listed);
    else if (record->verdict == tape_verdict_reading && listed == u->open.end())
        u->open.push_back(at);
    u->last_first = std::max(u->last_first, record->first_tick);
    settle(u, settled_to(u));
}

void tape_unread_listed_to(tape_unread *u, uint64_t tick)
{
    if (tick <= u->ended_listed)
        return;
    u->ended_listed = tick;
    if (!u->ended.empty())
        settle(u, settled_to(u));
}

void tape_unread_finish(tape_unread *u)
{
    close_windows(u, u->window + 1);
    end_growing(u);
    u->open.clear();
    settle(u, no_limit);
}

uint64_t tape_unread_read_ticks(const tape_unread *u)
{
    std::vector<tape_unread_span> spans;
    for (const tape_unread_span &span : u->files)
        if (span.first < u->tick)
            spans.push_back({span.first, std::min(span.end, u->tick)});
    std::sort(spans.begin(), spans.end(),
              [](const tape_unread_span &a, const tape_unread_span &b) { return a.first < b.first; });
    uint64_t read = 0;
    uint64_t covered_to = 0;
    for (const tape_unread_span &span : spans) {
        const uint64_t from = std::max(span.first, covered_to);
        if (span.end > from)
            read += span.end - from;
        covered_to = std::max(covered_to, span.end);
    }
    return read;
}
