// zr7k8 extract: the programs on tapes kept in DMP files or TAP images, saved
// as .prg files, with the lines `names` prints.
#include "cli.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_programs.h"
#include "cli_sampling.h"
#include "cli_targets.h"
#include "translate.h"

#include <string>
#include <vector>

namespace {

gchar *extract_into = nullptr;

// The folder for the programs of the tape at path: DIR itself for one tape,
// for each of several a folder of its own in DIR named after the file
// (program_folder_name_next: never outside DIR, repeats numbered).
std::string folder_for(const char *path, bool several, std::vector<std::string> *taken)
{
    const std::string folder = extract_into ? extract_into : ".";
    if (!several)
        return folder;
    gchar *joined = g_build_filename(folder.c_str(), program_folder_name_next(path, taken).c_str(), nullptr);
    std::string result = joined;
    g_free(joined);
    return result;
}

void keep_program(void *context, int file, const tape_file_event *record)
{
    cli_programs_collect(record, &(*static_cast<std::vector<std::vector<tape_program>> *>(context))[file]);
}

}  // namespace

int cmd_extract(int argc, char **argv)
{
    static const GOptionEntry entries[] = {
        {"into", 'o', 0, G_OPTION_ARG_FILENAME, &extract_into,
         N_("Write the programs into DIR (default: the current folder), created if missing"), N_("DIR")},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    GOptionContext *context = cli_option_context(
        "extract", N_("FILE..."),
        N_("Saves the programs on tapes kept in DMP files or TAP images: every file read back good or repaired "
        "becomes a .prg file (load address, then the bytes) named after its tape name, and the lines of "
        "`names` are printed. With several FILEs each tape's programs go into a folder of its own in DIR, named "
        "after the FILE without its extension as programs are named (\"game\", \"game (2)\" for a second "
        "game.tap or game.dmp). No file is replaced without --force: nothing is written then."),
        entries);
    cli_programs_add_force_option(context);
    cli_add_check_option(context);
    cli_add_health_option(context);
    cli_sampling_add_options(context);
    sampling_option_values options;
    const int parsed = cli_parse_with_sampling(context, &argc, &argv, 1, -1, &options);
    if (parsed != CLI_EXIT_OK)
        return parsed;

    std::vector<std::vector<tape_program>> programs(size_t(argc - 1));
    int status = cli_read_tapes(argc - 1, argv + 1, &options, keep_program, &programs);
    if (status == CLI_EXIT_USAGE)
        return status;
    const bool several = argc > 2;
    // Every target of every tape is checked before anything is written.
    std::vector<std::string> paths;
    std::vector<tape_program> all;
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        const std::vector<tape_program> &tape = programs[size_t(i - 1)];
        for (const std::string &path : cli_programs_paths(folder_for(argv[i], several, &folders), tape))
            paths.push_back(path);
        all.insert(all.end(), tape.begin(), tape.end());
    }
    const int checked = cli_targets_check(paths, std::vector<std::string>(argv + 1, argv + argc), cli_programs_force());
    if (checked != CLI_EXIT_OK)
        return checked;
    const int written = cli_programs_write(paths, all);
    if (written != CLI_EXIT_OK)
        return written;
    return cli_checked_status(status);
}
