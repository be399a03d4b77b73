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

// The dump's size in bytes, or 0 when it cannot be told.
goffset dump_size(const char *path)
{
    GStatBuf status;
    return g_stat(path, &status) == 0 ? status.st_size : 0;
}

// As the client does: a TAP image beside a dump that holds a sample, whatever
// the capture's end. Returns 1, or 0 after printing why it was not written.
int write_tap_beside(const char *path, const char *tap_path, const sampling_option_values *options)
{
    if (dump_size(path) < 2)
        return 1;
    GError *error = nullptr;
    tap_conversion_result result{};
    if (!tap_write_file_from_dmp(path, tap_path, options, &result, &error)) {
        cli_fail("TAP image not written: %s", error->message);
        g_error_free(error);
        return 0;
    }
    cli_say("TAP image: %s", tap_path);
    return 1;
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
        int kept = 0;
        status = cli_capture_run(dump, setup.port, &setup.options, &kept);
        if (kept && tap_path && !write_tap_beside(path, tap_path, &setup.options) && status == CLI_EXIT_OK)
            status = CLI_EXIT_FAILED;
    }
    g_free(tap_path);
    g_free(setup.port);
    return cli_checked_status(cli_programs_status(status));
}
