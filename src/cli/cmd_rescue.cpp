// zr7k8 rescue: the files of a tape side combined from two or more takes
// (DMP files or TAP images), so that a file no take reads alone can come back
// from them together; its programs saved as `extract` saves them.
#include "cli.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_output.h"
#include "cli_programs.h"
#include "cli_sampling.h"
#include "cli_takes.h"
#include "cli_targets.h"
#include "tape/tape_input.h"
#include "tape/tape_rescue.h"
#include "translate.h"

#include <glib/gstdio.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

gchar *rescue_into = nullptr;
gchar *clean_image = nullptr;
gboolean rescue_force = FALSE;

std::vector<tape_program> programs_of(const std::vector<tape_rescued_file> &files)
{
    std::vector<tape_program> programs;
    for (const tape_rescued_file &file : files) {
        if (file.outcome == tape_rescue_bad)
            continue;
        tape_program program;
        std::memcpy(program.name.data(), file.name, program.name.size());
        program.load_address = file.load_address;
        program.bytes = file.program;
        programs.push_back(std::move(program));
    }
    return programs;
}

// The takes given, each file once: a file named again (by any name or link)
// is said and left out, so that it cannot outvote the others.
std::vector<const char *> distinct_takes(int count, char **paths)
{
    std::vector<const char *> takes;
    std::vector<GStatBuf> seen;
    for (int i = 0; i < count; ++i) {
        GStatBuf status;
        const bool known = g_stat(paths[i], &status) == 0;
        const char *first = nullptr;
        for (size_t j = 0; j < seen.size() && known; ++j)
            if (seen[j].st_dev == status.st_dev && seen[j].st_ino == status.st_ino)
                first = takes[j];
        if (first) {
            cli_say("zr7k8: warning: '%s' is '%s' again: it counts as one take", cli_escaped(paths[i]).c_str(),
                    cli_escaped(first).c_str());
            continue;
        }
        takes.push_back(paths[i]);
        seen.push_back(known ? status : GStatBuf{});
    }
    return takes;
}

// "'a.dmp', 'c.tap'": the takes' file names, escaped.
std::string named(const std::vector<unsigned> &which, const std::vector<const char *> &takes)
{
    std::string text;
    for (unsigned take : which)
        text += (text.empty() ? "'" : ", '") + cli_escaped(takes[take]) + "'";
    return text;
}

}  // namespace

int cmd_rescue(int argc, char **argv)
{
    static const GOptionEntry entries[] = {
        {"into", 'o', 0, G_OPTION_ARG_FILENAME, &rescue_into,
         N_("Write the programs into DIR (default: the current folder), created if missing"), N_("DIR")},
        {"tap", 't', 0, G_OPTION_ARG_FILENAME, &clean_image,
         N_("Also write a clean TAP image: the files read written afresh, the rest as the first take has it"),
         N_("OUT.tap")},
        {"force", 'f', 0, G_OPTION_ARG_NONE, &rescue_force, N_("Replace program files and the image if they exist"),
         nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    GOptionContext *context = cli_option_context(
        "rescue", N_("TAKE TAKE..."),
        N_("Combines two or more takes (DMP files or TAP images) of the same tape side byte by byte: every byte "
        "any take read cleanly counts, the majority decides where they differ, and each block's checksum "
        "decides whether the file came back. Prints one line per file: good, repaired, rescued (no take alone "
        "read it, the takes together do) or bad. The programs of all but the bad files are saved as `extract` "
        "saves them; no file is replaced without --force. With --tap, a clean TAP image is made of the first "
        "take for the machine the sampling options name."),
        entries);
    cli_sampling_add_options(context);
    cli_add_check_option(context);
    sampling_option_values options;
    const int parsed = cli_parse_with_sampling(context, &argc, &argv, 2, -1, &options);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    cli_programs_set_force(rescue_force);

    for (int i = 1; i < argc; ++i) {
        std::string error;
        if (tape_input_check(argv[i], &error) == 0)
            return cli_refuse("%s: %s", cli_escaped(argv[i]).c_str(), error.c_str());
    }
    const std::vector<const char *> paths_of_takes = distinct_takes(argc - 1, argv + 1);

    std::vector<std::vector<tape_take_file>> takes(paths_of_takes.size());
    for (size_t i = 0; i < paths_of_takes.size(); ++i) {
        const int read = cli_read_take(paths_of_takes[i], &takes[i]);
        if (read != CLI_EXIT_OK)
            return read;
    }

    bool shared = false;
    const std::vector<tape_rescued_file> files = tape_rescue(takes, &shared);
    if (!shared)
        cli_say("zr7k8: the takes have no file in common: each is judged on its own");
    for (const tape_rescued_file &file : files) {
        unsigned char name[17];
        std::memcpy(name, file.name, 16);
        name[16] = 0;
        const std::string shown = cli_print_file_line(nullptr, file.tick, "verdict", name,
                                                      tape_rescue_outcome_word(file.outcome));
        if (file.outcome == tape_rescue_bad)
            cli_count_bad_file();
        if (!file.takes_disagreeing.empty())
            cli_say("zr7k8: warning: %s read clean with different bytes: kept those of %s, not those of %s",
                    shown.c_str(), named(file.takes_agreeing, paths_of_takes).c_str(),
                    named(file.takes_disagreeing, paths_of_takes).c_str());
    }

    const std::vector<tape_program> programs = programs_of(files);
    std::vector<std::string> outputs = cli_programs_paths(rescue_into ? rescue_into : ".", programs);
    const size_t program_count = outputs.size();
    if (clean_image)
        for (const std::string &output : cli_targets_of_image(clean_image))
            outputs.push_back(output);
    const int checked =
        cli_targets_check(outputs, std::vector<std::string>(paths_of_takes.begin(), paths_of_takes.end()),
                          rescue_force);
    if (checked != CLI_EXIT_OK)
        return checked;
    const int written =
        cli_programs_write(std::vector<std::string>(outputs.begin(), outputs.begin() + long(program_count)), programs);
    if (written != CLI_EXIT_OK)
        return written;
    if (clean_image) {
        const int imaged = cli_write_clean_image(paths_of_takes[0], takes, files, &options, clean_image, rescue_force);
        if (imaged != CLI_EXIT_OK)
            return imaged;
    }
    return cli_checked_status(CLI_EXIT_OK);
}
