// zr7k8 dump: the client's Dump. The device's sample stream goes into FILE,
// byte for byte, and the names on the tape and the verdicts of its files are
// printed.
#include "cli.h"
#include "cli_capture.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_output.h"
#include "cli_programs.h"
#include "cli_targets.h"
#include "link/capture_dump.h"
#include "tape/tap_writer.h"
#include "translate.h"

#include <string>
#include <vector>


namespace {

gboolean dump_force = FALSE;
gboolean write_tap = FALSE;

const GOptionEntry dump_entries[] = {
    {"force", 'f', 0, G_OPTION_ARG_NONE, &dump_force,
     N_("Replace FILE (and with --tap its TAP image and index, with --programs its program files) if it exists"),
     nullptr},
    {"tap", 't', 0, G_OPTION_ARG_NONE, &write_tap,
     N_("Also write a TAP image for emulators beside FILE (its .DMP ending replaced by .tap)"), nullptr},
    {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
};

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
        dump_entries, &setup);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    cli_programs_set_force(dump_force);
    if (cli_programs_prepare_capture() != CLI_EXIT_OK) {
        g_free(setup.port);
        return CLI_EXIT_USAGE;
    }
    const char *path = argv[1];
    gchar *tap_path = write_tap ? tap_path_beside_dump(path) : nullptr;
    // Every target is judged before the port is touched.
    std::vector<std::string> outputs{path};
    if (tap_path)
        for (const std::string &output : cli_targets_of_image(tap_path))
            outputs.push_back(output);
    int status = cli_targets_check(outputs, {}, dump_force);
    GError *error = nullptr;
    capture_dump *dump = status == CLI_EXIT_OK ? capture_dump_create(path, &error) : nullptr;
    if (status == CLI_EXIT_OK && !dump) {
        status = cli_refuse("cannot create '%s': %s", cli_escaped(path).c_str(), error->message);
        g_error_free(error);
    }

    if (dump)
        status = cli_capture_run(dump, path, tap_path, dump_force, setup.port, &setup.options);
    g_free(tap_path);
    g_free(setup.port);
    return cli_checked_status(cli_programs_status(status));
}
