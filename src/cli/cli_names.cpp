#include "cli_names.h"

#include "cli.h"
#include "cli_progress.h"
#include "link/handoff.h"
#include "tape/name_finder.h"
#include "tape/petscii.h"
#include "tape/tape_time.h"
#include "tape_file.h"
#include "tape_tap.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

gboolean check = FALSE;
gboolean health = FALSE;
unsigned bad_files = 0;

// Prints "[file\t]time\tsecond\tname[\tlast]" and flushes; returns the
// printable name.
const char *print_line(const char *file, guint64 ticks, const char *second, const unsigned char raw_name[17],
                       const char *last)
{
    static char shown[17];
    unsigned char name[17];
    std::memcpy(name, raw_name, sizeof name);
    petscii_printable_name(name, shown);
    gchar *time = tape_time_text_tenths(ticks);
    if (file)
        std::printf("%s\t", file);
    std::printf("%s\t%s\t%s", time, second, shown);
    if (last)
        std::printf("\t%s", last);
    std::printf("\n");
    std::fflush(stdout);
    g_free(time);
    return shown;
}

// The tape being read by cli_read_tapes: its label for the lines (null when
// only one was given), its place, and who else takes its records.
struct tape_reading {
    const char *label;
    int file;
    cli_tape_record_take take;
    void *context;
} reading;
unsigned names_found = 0;

gboolean print_found(gpointer data)
{
    cli_print_name(reading.label, static_cast<sample_pass_name *>(data));
    ++names_found;
    g_free(data);
    return G_SOURCE_REMOVE;
}

gboolean print_record(gpointer data)
{
    const auto *record = static_cast<tape_file_event *>(data);
    cli_print_verdict(reading.label, record);
    if (reading.take)
        reading.take(reading.context, reading.file, record);
    g_free(data);
    return G_SOURCE_REMOVE;
}

// Found names and verdicts are printed at once, on this thread: there is no
// main loop.
void run_at_once(GSourceFunc callback, gpointer data)
{
    callback(data);
}

// Reads a tape's samples into the pass's measure: a TAP image's header says
// which machine wrote it, for a DMP file the sampling options do.
int read_samples(const char *path, int is_tap, const sampling_option_values *options,
                 std::vector<unsigned short> *samples, sample_pass *pass)
{
    std::string error;
    tape_tap_info info{};
    const int read = is_tap ? tape_tap_file_to_samples(path, 0, samples, &info, &error)
                            : tape_read_dmp(path, samples, &error);
    if (is_tap)
        sample_pass_measure_for(pass, info.clock_hz, info.version == 2);
    else
        sample_pass_measure_for_options(pass, options);
    if (!read)
        cli_fail("%s", error.c_str());
    return read;
}

}  // namespace

const char *cli_print_name(const char *file, const sample_pass_name *found)
{
    const char *shown = print_line(file, found->header_ticks, name_loader_label(found->loader), found->name, nullptr);
    if (health) {
        const std::string figures = found->health.pulses ? cli_percent_text(found->health.speed_percent) + "\t" +
                                                               cli_percent_text(found->health.spread_percent)
                                                         : "-\t-";
        shown = print_line(file, found->header_ticks, "health", found->name, figures.c_str());
    }
    return shown;
}

const char *cli_print_file_line(const char *file, guint64 ticks, const char *second, const unsigned char name[17],
                                const char *last)
{
    return print_line(file, ticks, second, name, last);
}

void cli_count_bad_file(void)
{
    ++bad_files;
}

void cli_print_verdict(const char *file, const tape_file_event *record)
{
    switch (record->verdict) {
    case tape_verdict_good:
    case tape_verdict_repaired:
    case tape_verdict_bad:
    case tape_verdict_cut_short:
        break;
    default:
        return;
    }
    print_line(file, record->tick, "verdict", record->name, tape_verdict_text(record->verdict));
    // Either way the side must be dumped again.
    if (record->verdict == tape_verdict_bad || record->verdict == tape_verdict_cut_short)
        ++bad_files;
}

void cli_add_health_option(GOptionContext *context)
{
    const GOptionEntry entries[] = {
        {"health", 0, 0, G_OPTION_ARG_NONE, &health,
         "After each file's name, a line with the tape speed and pulse spread measured on its pilot", nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_option_context_add_main_entries(context, entries, nullptr);
}

std::string cli_percent_text(float percent)
{
    char text[G_ASCII_DTOSTR_BUF_SIZE];
    return g_ascii_formatd(text, sizeof text, "%.1f", tape_health_shown_percent(percent));
}

void cli_add_check_option(GOptionContext *context)
{
    const GOptionEntry entries[] = {
        {"check", 'c', 0, G_OPTION_ARG_NONE, &check,
         "Exit with 3 when a file read back bad or was cut short (and all else went well)", nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_option_context_add_main_entries(context, entries, nullptr);
}

int cli_checked_status(int status)
{
    if (!check || status != CLI_EXIT_OK || bad_files == 0)
        return status;
    cli_fail(bad_files == 1 ? "%u file read back bad or cut short" : "%u files read back bad or cut short",
             bad_files);
    return CLI_EXIT_BAD_FILE;
}

int cli_read_tapes(int count, char **paths, const sampling_option_values *options, cli_tape_record_take take,
                   void *context)
{
    std::vector<int> is_tap;
    std::vector<std::string> warnings;
    for (int i = 0; i < count; ++i) {
        std::string error, warning;
        const int kind = tape_tap_file_check(paths[i], &error, &warning);
        if (kind == 0)
            return cli_refuse("%s: %s", paths[i], error.c_str());
        is_tap.push_back(kind == 1);
        warnings.push_back(warning);
    }

    handoff_set_poster(run_at_once);
    int status = CLI_EXIT_OK;
    guint64 tape_ticks = 0;
    names_found = 0;
    for (int i = 0; i < count; ++i) {
        if (!warnings[i].empty())
            cli_say(CLI_PROGRAM ": %s: %s", paths[i], warnings[i].c_str());
        std::vector<unsigned short> samples;
        auto pass = std::make_unique<sample_pass>();
        sample_pass_init(pass.get(), print_found);
        if (!read_samples(paths[i], is_tap[i], options, &samples, pass.get())) {
            status = CLI_EXIT_FAILED;
            continue;
        }
        reading = {count > 1 ? paths[i] : nullptr, i, take, context};
        sample_pass_list_files(pass.get(), print_record);
        sample_pass_take(pass.get(), samples.data(), unsigned(samples.size()));
        sample_pass_finish(pass.get());
        tape_ticks += pass->tape_ticks;
    }
    // A file without a tape in it still says so, as a dump does.
    cli_progress_start(0);
    cli_progress_update(tape_ticks, 0, 0);
    cli_progress_finish(names_found);
    return status;
}
