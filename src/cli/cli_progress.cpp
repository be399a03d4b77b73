#include "cli_progress.h"

#include "cli_names.h"
#include "tape/tape_time.h"
#include "translate.h"

#include <cstdio>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The pulse rate is taken over this many updates (about a second).
const unsigned rate_window = 4;

struct progress_state {
    bool terminal;
    bool dumping;
    bool line_shown;        // a rewritten line stands on the terminal
    std::string status;
    std::string last_name;
    tape_health_figures health;
    guint64 tape_ticks;
    guint64 bytes;
    // Pulse counts and times of the last updates, for the pulse rate.
    guint64 window_pulses[rate_window];
    gint64 window_us[rate_window];
    unsigned window_next;
    unsigned window_filled;
};

progress_state state;

unsigned terminal_width(void)
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void clear_line(void)
{
    if (state.line_shown) {
        std::fputs("\r\033[K", stderr);
        state.line_shown = false;
    }
}

// Pulses per second over the rate window.
guint64 pulse_rate(void)
{
    if (state.window_filled < 2)
        return 0;
    const unsigned newest = (state.window_next + rate_window - 1) % rate_window;
    const unsigned oldest = state.window_filled < rate_window ? 0 : state.window_next;
    const gint64 span_us = state.window_us[newest] - state.window_us[oldest];
    if (span_us <= 0)
        return 0;
    return (state.window_pulses[newest] - state.window_pulses[oldest]) * 1000000 / guint64(span_us);
}

// The separator and the file's size ("1.2 MB") while dumping, else nothing.
// GLib joins number and unit with a no-break space, which scripts reading the
// line would not take for one: a plain space stands there instead.
std::string size_text(const char *separator)
{
    if (!state.dumping)
        return "";
    gchar *size = g_format_size(state.bytes);
    std::string text = std::string(separator) + size;
    g_free(size);
    static const std::string no_break_space = "\u00a0";
    for (size_t at = text.find(no_break_space); at != std::string::npos; at = text.find(no_break_space, at))
        text.replace(at, no_break_space.size(), " ");
    return text;
}

// "  speed -3.8 %  spread 1.9 %" once a pilot has been measured, else nothing.
std::string health_text(void)
{
    if (state.health.pulses == 0)
        return "";
    const std::string speed = cli_percent_text(state.health.speed_percent);
    const std::string signed_speed = (speed[0] == '-' || speed == "0.0" ? "" : std::string("+")) + speed;
    gchar *text = g_strdup_printf(_("  speed %s %%  spread %s %%"), signed_speed.c_str(),
                                  cli_percent_text(state.health.spread_percent).c_str());
    const std::string shown = text;
    g_free(text);
    return shown;
}

void draw_line(void)
{
    gchar *time = tape_time_text_tenths(state.tape_ticks);
    const std::string rate = std::to_string(pulse_rate());
    gchar *line = g_strdup_printf(_("%s  %s%s  %s pulses/s%s%s%s"), state.status.c_str(), time,
                                  size_text("  ").c_str(), rate.c_str(), health_text().c_str(),
                                  state.last_name.empty() ? "" : _("  last: "), state.last_name.c_str());
    std::string shown = line;
    // A line that wraps could not be rewritten in place; the terminal's echo
    // of a Ctrl-C ("^C") must fit behind it too.
    const unsigned width = terminal_width() > 3 ? terminal_width() - 3 : 1;
    if (shown.size() > width)
        shown.resize(width);
    std::fprintf(stderr, "\r%s\033[K", shown.c_str());
    state.line_shown = true;
    g_free(line);
    g_free(time);
}

}  // namespace

void cli_progress_start(int dumping)
{
    state = progress_state{};
    state.terminal = isatty(STDERR_FILENO) == 1;
    state.dumping = dumping != 0;
}

void cli_progress_status(const char *text)
{
    state.status = _(text);
    if (state.terminal)
        draw_line();
    else
        std::fprintf(stderr, "%s\n", state.status.c_str());
}

void cli_progress_clear(void)
{
    clear_line();
}

void cli_progress_name(const char *name)
{
    state.last_name = name;
    if (state.terminal)
        draw_line();
}

void cli_progress_update(guint64 tape_ticks, guint64 bytes, guint64 pulses)
{
    state.tape_ticks = tape_ticks;
    state.bytes = bytes;
    state.window_pulses[state.window_next] = pulses;
    state.window_us[state.window_next] = g_get_monotonic_time();
    state.window_next = (state.window_next + 1) % rate_window;
    if (state.window_filled < rate_window)
        ++state.window_filled;
    if (state.terminal && !state.status.empty())
        draw_line();
}

void cli_progress_health(const tape_health_figures *figures)
{
    state.health = *figures;
}

void cli_progress_finish(unsigned names, guint64 read_ticks)
{
    clear_line();
    gchar *time = tape_time_text_tenths(state.tape_ticks);
    gchar *read = tape_time_text_tenths(read_ticks);
    std::fprintf(stderr, P_("%s of tape%s, %u name found, %s read\n", "%s of tape%s, %u names found, %s read\n", names),
                 time, size_text(", ").c_str(), names, read);
    g_free(read);
    g_free(time);
}
