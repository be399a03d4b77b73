// zr7k8 dump: the client's Dump. The device's sample stream goes into FILE,
// byte for byte, and the names on the tape and the verdicts of its files are
// printed.
#include "cli.h"
#include "cli_capture.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_programs.h"
#include "link/capture_dump.h"
#include "tape/tap_writer.h"
#include "translate.h"

#include <glib/gstdio.h>


namespace {

gboolean force = FALSE;
gboolean write_tap = FALSE;

const GOptionEntry entries[] = {
    {"force", 'f', 0, G_OPTION_ARG_NONE, &force,
     N_("Replace FILE (and with --tap its TAP image, with --programs its program files) if it exists"), nullptr},
    {"tap", 't', 0, G_OPTION_ARG_NONE, &write_tap,
     N_("Also write a TAP image for emulators beside FILE (its .DMP ending replaced by .tap)"), nullptr},
    {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
};

// A target is a new name, or with --force a regular file (directly or
// through a link, which is then replaced). Returns CLI_EXIT_OK, or
// CLI_EXIT_USAGE after printing why; nothing is touched either way.
int check_target(const char *path)
{
    GError *error = nullptr;
    const staged_target target = staged_file_look_at_target(path, &error);
    if (target == STAGED_TARGET_REFUSED) {
        cli_refuse("will not write '%s': %s", path, error->message);
        g_error_free(error);
        return CLI_EXIT_USAGE;
    }
    if (target == STAGED_TARGET_FILE && !force)
        return cli_refuse("'%s' exists: --force replaces it", path);
    return CLI_EXIT_OK;
}

}  // namespace

int cmd_dump(int argc, char **argv)
{
    cli_capture_setup setup;
    const int parsed = cli_capture_parse(
        &argc, &argv, "dump", N_("FILE"), 1,
        N_("Records the tape playing in the datasette on the device: the device's sample stream goes into FILE "
        "byte for byte (16-bit samples, low byte first, no header), and each file name found is printed "
        "(tape time, loader, name), and so is the verdict of each ROM-loader and Turbo Tape 250 file once it has been read (where "
        "its header begins, the word verdict, name, and good, repaired, bad or cut short). Ctrl-C stops; FILE keeps what "
        "arrived. With --programs DIR each program read back good or repaired is saved there as a .prg file. FILE (and with --tap "
        "its image) is written under a temporary name beside it and put in place once the device has begun the "
        "capture; until then an earlier FILE stays as it was."),
        entries, &setup);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    cli_programs_set_force(force);
    if (cli_programs_prepare_capture() != CLI_EXIT_OK) {
        g_free(setup.port);
        return CLI_EXIT_USAGE;
    }
    const char *path = argv[1];
    gchar *tap_path = write_tap ? tap_path_beside_dump(path) : nullptr;
    // Both targets are judged before the port is touched.
    int status = check_target(path);
    if (status == CLI_EXIT_OK && tap_path)
        status = check_target(tap_path);
    GError *error = nullptr;
    capture_dump *dump = status == CLI_EXIT_OK ? capture_dump_create(path, &error) : nullptr;
    if (status == CLI_EXIT_OK && !dump) {
        status = cli_refuse("cannot create '%s': %s", path, error->message);
        g_error_free(error);
    }

    if (dump) {
        status = cli_capture_run(dump, path, tap_path, setup.port, &setup.options);
    }
    g_free(tap_path);
    g_free(setup.port);
    return cli_checked_status(cli_programs_status(status));
}
