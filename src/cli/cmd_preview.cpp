// zr7k8 preview: the client's Preview. The tape plays, the names on it and
// the verdicts of its files are printed, nothing is stored.
#include "cli.h"
#include "cli_capture.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_programs.h"
#include "translate.h"

namespace {

gboolean preview_force = FALSE;

const GOptionEntry preview_entries[] = {
    {"force", 'f', 0, G_OPTION_ARG_NONE, &preview_force, N_("With --programs: replace program files that exist"),
     nullptr},
    {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
};

}  // namespace

int cmd_preview(int argc, char **argv)
{
    cli_capture_setup setup;
    const int parsed = cli_capture_parse(
        &argc, &argv, "preview", "", 0,
        N_("Watches a tape play in the datasette on the device: prints each file name found (tape time, loader, "
        "name) and the verdict of each ROM-loader and Turbo Tape 250 file once it has been read (where its header begins, the word "
        "verdict, name, and good, repaired, bad or cut short); stores nothing, unless --programs DIR saves each "
        "program read back good or repaired there as a .prg file. Ctrl-C stops."),
        preview_entries, &setup);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    cli_programs_set_force(preview_force);
    int status = cli_programs_prepare_capture();
    if (status == CLI_EXIT_OK)
        status = cli_programs_status(cli_capture_run(nullptr, nullptr, nullptr, false, setup.port, &setup.options));
    g_free(setup.port);
    return cli_checked_status(status);
}
