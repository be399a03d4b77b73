// zr7k8 preview: the client's Preview. The tape plays, the names on it are
// printed, nothing is stored.
#include "cli.h"
#include "cli_capture.h"
#include "cli_commands.h"

int cmd_preview(int argc, char **argv)
{
    cli_capture_setup setup;
    const int parsed = cli_capture_parse(
        &argc, &argv, "preview", "", 0,
        "Watches a tape play in the datasette on the device: prints each file name found (tape time, loader, "
        "name) and stores nothing. Ctrl-C stops.",
        nullptr, &setup);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    const int status = cli_capture_run(nullptr, setup.port, &setup.options);
    g_free(setup.port);
    return status;
}
