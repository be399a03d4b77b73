// zr7k8: the client's jobs from a terminal. Finds the subcommand and hands
// it the rest of the command line.
#include "cli.h"
#include "cli_commands.h"
#include "cli_output.h"
#include "translate.h"

#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

struct command {
    const char *name;
    int (*run)(int argc, char **argv);
    const char *summary;
};

const command commands[] = {
    {"ports", cmd_ports, N_("List the serial ports that could be the device")},
    {"preview", cmd_preview, N_("Watch a tape play: names found and verdicts, nothing stored")},
    {"dump", cmd_dump, N_("Record a tape's sample stream into a file")},
    {"totap", cmd_totap, N_("Convert a dump file into a TAP image")},
    {"names", cmd_names, N_("List the file names and verdicts on tapes in DMP or TAP files")},
    {"extract", cmd_extract, N_("Save the programs on tapes in DMP or TAP files as .prg files")},
    {"rescue", cmd_rescue, N_("Combine two or more takes of a tape side into the files none reads alone")},
    {"reboot", cmd_reboot, N_("Restart the device")},
    {"update", cmd_update, N_("Replace the device's firmware")},
};

const command *find(const char *name)
{
    for (const command &entry : commands) {
        if (std::strcmp(entry.name, name) == 0)
            return &entry;
    }
    return nullptr;
}

void print_usage(FILE *out)
{
    std::fputs(_("Usage: zr7k8 COMMAND [OPTION...] [ARGUMENT...]\n\n"
                 "Captures tapes with the ZR7K8-LC and looks after the device, as the client does.\n\n"
                 "Commands:\n"),
               out);
    for (const command &entry : commands)
        std::fprintf(out, "  %-9s %s\n", entry.name, _(entry.summary));
    std::fputs(_("\nExit status: 0 done, 1 failed, 2 refused, 3 a bad or cut-short file and 4 a stretch no "
                 "format read (both with --check), 130 interrupted.\n"
                 "\nzr7k8 help COMMAND (or zr7k8 COMMAND --help) explains a command;\n"
                 "zr7k8 --version prints the version. See also zr7k8(1).\n"),
               out);
}

// "help" alone, or "help COMMAND": that command's own --help.
int run_help(int argc, char **argv)
{
    if (argc < 2) {
        print_usage(stdout);
        return CLI_EXIT_OK;
    }
    const command *entry = find(argv[1]);
    if (!entry)
        return cli_refuse("unknown command '%s' (see: zr7k8 help)", argv[1]);
    char help_option[] = "--help";
    char *help_argv[] = {argv[1], help_option, nullptr};
    return entry->run(2, help_argv);
}

int run(int argc, char **argv)
{
    if (argc < 2) {
        print_usage(stderr);
        return CLI_EXIT_USAGE;
    }
    const char *name = argv[1];
    if (std::strcmp(name, "--version") == 0 || std::strcmp(name, "-V") == 0) {
        std::printf(CLI_PROGRAM " " ZR7K8_VERSION "\n");
        return CLI_EXIT_OK;
    }
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 || std::strcmp(name, "help") == 0)
        return run_help(argc - 1, argv + 1);
    const command *entry = find(name);
    if (!entry)
        return cli_refuse("unknown command '%s' (see: zr7k8 help)", name);
    return entry->run(argc - 1, argv + 1);
}

}  // namespace

int main(int argc, char **argv)
{
    cli_output_guard_standard_descriptors();
    std::setlocale(LC_ALL, "");
    // The client's catalogue, from the program's own folder.
    translate_bind_beside_program();
    return cli_output_close(run(argc, argv));
}
