#include "cli_names.h"

#include "cli.h"
#include "cli_output.h"
#include "cli_progress.h"
#include "link/handoff.h"
#include "tape/loader_table.h"
#include "tape/petscii.h"
#include "tape/tape_time.h"
#include "tape/tape_input.h"
#include "translate.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <memory>
#include <string>
#include <vector>

namespace {

gboolean check = FALSE;
gboolean health = FALSE;
unsigned bad_files = 0;
unsigned unread_stretches = 0;

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
    cli_output_flush();
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
unsigned names_listed = 0;

gboolean print_record(gpointer data)
{
    const auto *record = static_cast<tape_file_event *>(data);
    if (cli_print_verdict(reading.label, record))
        ++names_listed;
    if (reading.take)
        reading.take(reading.context, reading.file, record);
    g_free(data);
    return G_SOURCE_REMOVE;
}

gboolean print_unread(gpointer data)
{
    cli_print_unread(reading.label, static_cast<tape_unread_stretch *>(data));
    g_free(data);
    return G_SOURCE_REMOVE;
}

// Found names and verdicts are printed at once, on this thread: there is no
// main loop.
void run_at_once(GSourceFunc callback, gpointer data)
{
    callback(data);
}

// Reads the tape at path through the pass, a block at a time, its health
// measured for the machine that wrote it: a TAP image's header says which,
// for a DMP file the sampling options do. Returns CLI_EXIT_OK, or
// CLI_EXIT_FAILED after saying why.
int read_tape(const char *path, const char *shown_path, const sampling_option_values *options, sample_pass *pass)
{
    GError *failure = nullptr;
    if (sample_pass_read_file(pass, path, options, nullptr, &failure))
        return CLI_EXIT_OK;
    const int status = cli_fail("%s: %s", shown_path, failure->message);
    g_error_free(failure);
    return status;
}

}  // namespace

const char *cli_print_name(const char *file, const tape_file_event *record)
{
    const char *shown = print_line(file, record->tick, tape_loader_word(record->loader), record->name, nullptr);
    if (health) {
        const std::string figures = record->health.pulses ? cli_percent_text(record->health.speed_percent) + "\t" +
                                                                cli_percent_text(record->health.spread_percent)
                                                          : "-\t-";
        shown = print_line(file, record->tick, "health", record->name, figures.c_str());
    }
    return shown;
}

const char *cli_print_file_line(const char *file, guint64 ticks, const char *second, const unsigned char name[17],
                                const char *last)
{
    return print_line(file, ticks, second, name, last);
}

void cli_print_unread(const char *file, const tape_unread_stretch *stretch)
{
    gchar *time = tape_time_text_tenths(stretch->tick);
    gchar *length = tape_time_text_tenths(stretch->ticks);
    if (file)
        std::printf("%s\t", file);
    std::printf("%s\tunread\t%s\n", time, length);
    cli_output_flush();
    g_free(length);
    g_free(time);
    ++unread_stretches;
}

void cli_count_bad_file(void)
{
    ++bad_files;
}

const char *cli_print_verdict(const char *file, const tape_file_event *record)
{
    if (record->verdict == tape_verdict_reading)
        return cli_print_name(file, record);
    switch (record->verdict) {
    case tape_verdict_good:
    case tape_verdict_repaired:
    case tape_verdict_bad:
    case tape_verdict_cut_short:
        break;
    default:
        return nullptr;
    }
    print_line(file, record->tick, "verdict", record->name, tape_verdict_text(record->verdict));
    // Either way the side must be dumped again.
    if (record->verdict == tape_verdict_bad || record->verdict == tape_verdict_cut_short)
        ++bad_files;
    return nullptr;
}

void cli_add_health_option(GOptionContext *context)
{
    const GOptionEntry entries[] = {
        {"health", 0, 0, G_OPTION_ARG_NONE, &health,
         N_("After each file's name, a line with the tape speed and pulse spread measured on its pilot"), nullptr},
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
         N_("Exit with 3 when a file read back bad or was cut short, else with 4 when a stretch of pulses was "
            "read by no format (and all else went well)"),
         nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_option_context_add_main_entries(context, entries, nullptr);
}

int cli_checked_status(int status)
{
    if (!check || status != CLI_EXIT_OK || (bad_files == 0 && unread_stretches == 0))
        return status;
    gchar *text =
        bad_files ? g_strdup_printf(P_("%u file read back bad or cut short", "%u files read back bad or cut short",
                                       bad_files),
                                    bad_files)
                  : g_strdup_printf(P_("%u stretch of pulses was read by no format",
                                       "%u stretches of pulses were read by no format", unread_stretches),
                                    unread_stretches);
    cli_fail("%s", text);
    g_free(text);
    return bad_files ? CLI_EXIT_BAD_FILE : CLI_EXIT_UNREAD;
}

int cli_read_tapes(int count, char **paths, const sampling_option_values *options, cli_tape_record_take take,
                   void *context)
{
    // File names as printed: no control character in them can break a line
    // or a field.
    std::vector<std::string> shown;
    std::vector<std::string> warnings;
    for (int i = 0; i < count; ++i) {
        shown.push_back(cli_escaped(paths[i]));
        // A stream can only be judged as it is read: looking at its start
        // would take those bytes away from the reading.
        std::string error, warning;
        struct stat status {};
        const bool stream = stat(paths[i], &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
        if (!stream && tape_input_check(paths[i], &error, &warning) == 0)
            return cli_refuse("%s: %s", shown[i].c_str(), error.c_str());
        warnings.push_back(warning);
    }

    handoff_set_poster(run_at_once);
    int status = CLI_EXIT_OK;
    guint64 tape_ticks = 0;
    guint64 read_ticks = 0;
    names_listed = 0;
    for (int i = 0; i < count && !cli_output_failed(); ++i) {
        if (!warnings[i].empty())
            cli_say("zr7k8: %s: %s", shown[i].c_str(), warnings[i].c_str());
        // Each file is a tape of its own: nothing of the one before carries over.
        auto pass = std::make_unique<sample_pass>();
        sample_pass_init(pass.get(), nullptr);
        reading = {count > 1 ? shown[i].c_str() : nullptr, i, take, context};
        sample_pass_list_files(pass.get(), print_record);
        sample_pass_list_unread(pass.get(), print_unread);
        if (read_tape(paths[i], shown[i].c_str(), options, pass.get()) != CLI_EXIT_OK)
            status = CLI_EXIT_FAILED;
        sample_pass_finish(pass.get());
        tape_ticks += pass->tape_ticks;
        read_ticks += sample_pass_read_ticks(pass.get());
    }
    // A file without a tape in it still says so, as a dump does.
    cli_progress_start(0);
    cli_progress_update(tape_ticks, 0, 0);
    cli_progress_finish(names_listed, read_ticks);
    return status;
}
