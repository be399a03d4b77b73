// zr7k8 preview: the client's Preview. The tape plays, the names on it and
// the verdicts of its files are printed, nothing is stored.
#include "cli.h"
#include "cli_capture.h"
#include "cli_commands.h"
#include "cli_names.h"

int cmd_preview(int argc, char **argv)
{
    cli_capture_setup setup;
    const int parsed = cli_capture_parse(
        &argc, &argv, "preview", "", 0,
        "Watches a tape play in the datasette on the device: prints each file name found (tape time, loader, "
        "name) and the verdict of each ROM-loader file once it has been read (where its header begins, the word "
        "verdict, name, and good, repaired or bad); stores nothing. Ctrl-C stops.",
        nullptr, &setup);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    const int status = cli_capture_run(nullptr, setup.port, &setup.options);
    g_free(setup.port);
    return cli_checked_status(status);
}
