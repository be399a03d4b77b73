#include "cli_names.h"

#include "cli.h"
#include "tape/name_finder.h"
#include "tape/petscii.h"
#include "tape/tape_time.h"

#include <cstdio>
#include <cstring>

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

}  // namespace

const char *cli_print_name(const char *file, const sample_pass_name *found)
{
    return print_line(file, found->header_ticks, name_loader_label(found->loader), found->name, nullptr);
}

void cli_print_verdict(const char *file, const tape_file_event *record)
{
    switch (record->verdict) {
    case tape_verdict_good:
    case tape_verdict_repaired:
    case tape_verdict_bad:
        break;
    default:
        return;
    }
    print_line(file, record->tick, "verdict", record->name, tape_verdict_text(record->verdict));
    if (record->verdict == tape_verdict_bad)
        ++bad_files;
}

void cli_print_health(const char *file, const tape_file_event *record)
{
    if (!health || (record->verdict != tape_verdict_reading && record->verdict != tape_verdict_not_checked))
        return;
    const bool measured = record->health.pulses != 0;
    const std::string figures = measured ? cli_percent_text(record->health.speed_percent) + "\t" +
                                               cli_percent_text(record->health.spread_percent)
                                         : "-\t-";
    print_line(file, record->tick, "health", record->name, figures.c_str());
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
         "Exit with 3 when a ROM-loader file read back bad (and all else went well)", nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_option_context_add_main_entries(context, entries, nullptr);
}

int cli_checked_status(int status)
{
    if (!check || status != CLI_EXIT_OK || bad_files == 0)
        return status;
    cli_fail(bad_files == 1 ? "%u file read back bad" : "%u files read back bad", bad_files);
    return CLI_EXIT_BAD_FILE;
}
