// zr7k8 names: the file names on tapes kept in DMP or TAP files, and the
// verdicts of their files, found by the same pass over the samples as in a
// capture (which feeds the tape index).
#include "cli.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_sampling.h"
#include "cli_progress.h"
#include "link/handoff.h"
#include "link/sample_pass.h"
#include "tape_file.h"
#include "tape_tap.h"

#include <string>
#include <vector>

namespace {

// The file whose names are being printed, or null when only one was given.
const char *current_file = nullptr;
unsigned names_found = 0;

gboolean print_found(gpointer data)
{
    cli_print_name(current_file, static_cast<sample_pass_name *>(data));
    ++names_found;
    g_free(data);
    return G_SOURCE_REMOVE;
}

gboolean print_verdict(gpointer data)
{
    cli_print_health(current_file, static_cast<tape_file_event *>(data));
    cli_print_verdict(current_file, static_cast<tape_file_event *>(data));
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

int cmd_names(int argc, char **argv)
{
    GOptionContext *context = cli_option_context(
        "names", "FILE...",
        "Lists the files on tapes kept in DMP files (the device's sample stream) or TAP images: each file name "
        "found (tape time, loader, name), and the verdict of each ROM-loader file (where its header begins, the "
        "word verdict, name, and good, repaired or bad). With several files each line begins with the file's "
        "name. --health adds a line with each file's tape speed and pulse spread; the sampling options say "
        "which machine wrote a DMP file (a TAP image says so itself).",
        nullptr);
    cli_add_check_option(context);
    cli_add_health_option(context);
    cli_sampling_add_options(context);
    const int parsed = cli_parse(context, &argc, &argv, 1, -1);
    g_option_context_free(context);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    sampling_option_values options;
    if (cli_sampling_values(&options) != CLI_EXIT_OK)
        return CLI_EXIT_USAGE;

    // Every file is judged before any name is printed.
    std::vector<int> is_tap;
    std::vector<std::string> warnings;
    for (int i = 1; i < argc; ++i) {
        std::string error, warning;
        const int kind = tape_tap_file_check(argv[i], &error, &warning);
        if (kind == 0)
            return cli_refuse("%s: %s", argv[i], error.c_str());
        is_tap.push_back(kind == 1);
        warnings.push_back(warning);
    }

    handoff_set_poster(run_at_once);
    int status = CLI_EXIT_OK;
    guint64 tape_ticks = 0;
    for (int i = 1; i < argc; ++i) {
        if (!warnings[i - 1].empty())
            cli_say(CLI_PROGRAM ": %s: %s", argv[i], warnings[i - 1].c_str());
        std::vector<unsigned short> samples;
        sample_pass pass;
        sample_pass_init(&pass, print_found);
        if (!read_samples(argv[i], is_tap[i - 1], &options, &samples, &pass)) {
            status = CLI_EXIT_FAILED;
            continue;
        }
        current_file = argc > 2 ? argv[i] : nullptr;
        sample_pass_list_files(&pass, print_verdict);
        for (unsigned short sample : samples)
            sample_pass_feed(&pass, sample);
        sample_pass_finish(&pass);
        tape_ticks += pass.tape_ticks;
    }
    // A file without a tape in it still says so, as a dump does.
    cli_progress_start(0);
    cli_progress_update(tape_ticks, 0, 0);
    cli_progress_finish(names_found);
    return cli_checked_status(status);
}
