// zr7k8 dump: the client's Dump. The device's sample stream goes into FILE,
// byte for byte, and the names on the tape and the verdicts of its files are
// printed.
#include "cli.h"
#include "cli_capture.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_programs.h"
#include "tape/tap_writer.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

gboolean force = FALSE;
gboolean write_tap = FALSE;

const GOptionEntry entries[] = {
    {"force", 'f', 0, G_OPTION_ARG_NONE, &force,
     "Replace FILE (and with --tap its TAP image, with --programs its program files) if it exists", nullptr},
    {"tap", 't', 0, G_OPTION_ARG_NONE, &write_tap,
     "Also write a TAP image for emulators beside FILE (its .DMP ending replaced by .tap)", nullptr},
    {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
};

// Creates (with --force: empties) the dump file. Returns null after printing
// why; nothing is touched then.
FILE *create_dump(const char *path)
{
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (force ? O_TRUNC : O_EXCL);
    const int fd = g_open(path, flags, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            cli_refuse("'%s' exists: --force replaces it", path);
        else
            cli_refuse("cannot create '%s': %s", path, g_strerror(errno));
        return nullptr;
    }
    FILE *file = fdopen(fd, "w+b");
    if (!file) {
        cli_refuse("cannot create '%s': %s", path, g_strerror(errno));
        close(fd);
        g_unlink(path);
    }
    return file;
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
        &argc, &argv, "dump", "FILE", 1,
        "Records the tape playing in the datasette on the device: the device's sample stream goes into FILE "
        "byte for byte (16-bit samples, low byte first, no header), and each file name found is printed "
        "(tape time, loader, name), and so is the verdict of each ROM-loader and Turbo Tape 250 file once it has been read (where "
        "its header begins, the word verdict, name, and good, repaired, bad or cut short). Ctrl-C stops; FILE keeps what "
        "arrived. With --programs DIR each program read back good or repaired is saved there as a .prg file.",
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
    FILE *file = nullptr;
    if (tap_path && !force && g_file_test(tap_path, G_FILE_TEST_EXISTS))
        cli_refuse("'%s' exists: --force replaces it", tap_path);
    else
        file = create_dump(path);

    int status = CLI_EXIT_USAGE;
    if (file) {
        status = cli_capture_run(file, setup.port, &setup.options);
        if (status != CLI_EXIT_OK && dump_size(path) == 0) {
            // Nothing arrived: no empty file stands in the way of the next try.
            g_unlink(path);
        } else if (tap_path && !write_tap_beside(path, tap_path, &setup.options) && status == CLI_EXIT_OK) {
            status = CLI_EXIT_FAILED;
        }
    }
    g_free(tap_path);
    g_free(setup.port);
    return cli_checked_status(cli_programs_status(status));
}
