// zr7k8 rescue: the files of a tape side combined from two or more takes
// (DMP files or TAP images), so that a file no take reads alone can come back
// from them together; its programs saved as `extract` saves them.
#include "cli.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_programs.h"
#include "cli_sampling.h"
#include "cli_takes.h"
#include "tape/tape_input.h"
#include "tape/tape_rescue.h"
#include "translate.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

gchar *into = nullptr;
gchar *clean_image = nullptr;
gboolean force = FALSE;

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

}  // namespace

int cmd_rescue(int argc, char **argv)
{
    static const GOptionEntry entries[] = {
        {"into", 'o', 0, G_OPTION_ARG_FILENAME, &into,
         N_("Write the programs into DIR (default: the current folder), created if missing"), N_("DIR")},
        {"tap", 't', 0, G_OPTION_ARG_FILENAME, &clean_image,
         N_("Also write a clean TAP image: the files read written afresh, the rest as the first take has it"),
         N_("OUT.tap")},
        {"force", 'f', 0, G_OPTION_ARG_NONE, &force, N_("Replace program files and the image if they exist"),
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
    cli_programs_set_force(force);

    for (int i = 1; i < argc; ++i) {
        std::string error;
        if (tape_input_check(argv[i], &error) == 0)
            return cli_refuse("%s: %s", argv[i], error.c_str());
    }
    if (clean_image) {
        const int checked = cli_check_target(clean_image, force);
        if (checked != CLI_EXIT_OK)
            return checked;
    }

    std::vector<std::vector<tape_take_file>> takes(size_t(argc - 1));
    for (int i = 1; i < argc; ++i) {
        const int read = cli_read_take(argv[i], &takes[size_t(i - 1)]);
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
        cli_print_file_line(nullptr, file.tick, "verdict", name, tape_rescue_outcome_word(file.outcome));
        if (file.outcome == tape_rescue_bad)
            cli_count_bad_file();
    }

    const std::vector<tape_program> programs = programs_of(files);
    const std::vector<std::string> paths = cli_programs_paths(into ? into : ".", programs);
    const int checked = cli_programs_check_targets(paths);
    if (checked != CLI_EXIT_OK)
        return checked;
    const int written = cli_programs_write(paths, programs);
    if (written != CLI_EXIT_OK)
        return written;
    if (clean_image) {
        const int imaged = cli_write_clean_image(argv[1], takes, files, &options, clean_image);
        if (imaged != CLI_EXIT_OK)
            return imaged;
    }
    return cli_checked_status(CLI_EXIT_OK);
}
