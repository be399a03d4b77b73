// zr7k8 names: the file names on tapes kept in DMP or TAP files, and the
// verdicts of their files, found by the same pass over the samples as in a
// capture (which feeds the tape index).
#include "cli.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_sampling.h"
#include "translate.h"

int cmd_names(int argc, char **argv)
{
    GOptionContext *context = cli_option_context(
        "names", N_("FILE..."),
        N_("Lists the files on tapes kept in DMP files (the device's sample stream) or TAP images: each file name "
        "found (tape time, loader, name), and the verdict of each ROM-loader and Turbo Tape 250 file (where its "
        "header begins, the word verdict, name, and good, repaired, bad or cut short). With several files each "
        "line begins with the file's name. --health adds a line with each file's tape speed and pulse spread; "
        "the sampling options say which machine wrote a DMP file (a TAP image says so itself)."),
        nullptr);
    cli_add_check_option(context);
    cli_add_health_option(context);
    cli_sampling_add_options(context);
    sampling_option_values options;
    const int parsed = cli_parse_with_sampling(context, &argc, &argv, 1, -1, &options);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    return cli_checked_status(cli_read_tapes(argc - 1, argv + 1, &options, nullptr, nullptr));
}
