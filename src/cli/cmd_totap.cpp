// zr7k8 totap: a dump file made into a TAP image by the client's TAP writer.
#include "cli.h"
#include "cli_commands.h"
#include "cli_sampling.h"
#include "cli_takes.h"
#include "cli_output.h"
#include "cli_targets.h"
#include "tape/tap_writer.h"
#include "tape/tape_input.h"
#include "translate.h"

#include <string>

namespace {

gboolean totap_force = FALSE;
gboolean clean = FALSE;

const GOptionEntry totap_entries[] = {
    {"force", 'f', 0, G_OPTION_ARG_NONE, &totap_force, N_("Replace OUT and its index if they exist"), nullptr},
    {"clean", 'c', 0, G_OPTION_ARG_NONE, &clean,
     N_("Write the files read afresh with the formats' nominal pulses, the rest as recorded (IN may also be a "
        "TAP image)"),
     nullptr},
    {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
};

}  // namespace

int cmd_totap(int argc, char **argv)
{
    GOptionContext *context = cli_option_context(
        "totap", N_("IN.DMP OUT.tap"),
        N_("Converts a dump (the device's sample stream) into a TAP image for emulators, written as the client "
        "writes it beside a dump. Give the sampling options the dump was made with (default: c64, pal, full "
        "waves). OUT appears only once complete. With --clean, the files read from the tape are written afresh "
        "with their formats' nominal pulses and everything else as recorded."),
        totap_entries);
    cli_sampling_add_options(context);
    sampling_option_values options;
    const int parsed = cli_parse_with_sampling(context, &argc, &argv, 2, 2, &options);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    const char *in = argv[1];
    const char *out = argv[2];

    const std::string shown_in = cli_escaped(in);

    std::string error;
    const int kind = tape_input_check(in, &error);
    if (kind == 0)
        return cli_refuse("%s: %s", shown_in.c_str(), error.c_str());
    if (kind == 1 && !clean)
        return cli_refuse("%s is a TAP image already, not a dump", shown_in.c_str());
    const int target = cli_targets_check(cli_targets_of_image(out), {in}, totap_force);
    if (target != CLI_EXIT_OK)
        return target;
    if (clean) {
        std::vector<std::vector<tape_take_file>> takes(1);
        const int read = cli_read_take(in, &takes[0]);
        if (read != CLI_EXIT_OK)
            return read;
        return cli_write_clean_image(in, takes, tape_rescue(takes, nullptr), &options, out, totap_force);
    }

    tap_conversion_result result{};
    GError *failure = nullptr;
    if (!tap_write_file_from_dmp(in, out, totap_force, &options, &result, &failure)) {
        const int status = cli_targets_write_failed(out, failure);
        g_error_free(failure);
        return status;
    }
    if (result.odd_trailing_byte)
        cli_say("Note: %s ends with half a sample (one odd byte), which is left out", shown_in.c_str());
    const std::string pulses = std::to_string(result.samples);
    cli_say(P_("%s: %s pulse", "%s: %s pulses", result.samples), cli_escaped(out).c_str(), pulses.c_str());
    return CLI_EXIT_OK;
}
