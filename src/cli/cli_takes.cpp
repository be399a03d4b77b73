#include "cli_takes.h"

#include "cli.h"
#include "cli_output.h"
#include "cli_targets.h"
#include "tape/clean_tap.h"
#include "translate.h"

#include <string>

int cli_read_take(const char *path, std::vector<tape_take_file> *files)
{
    GError *failure = nullptr;
    if (tape_take_read_file(path, files, nullptr, &failure))
        return CLI_EXIT_OK;
    const int status = cli_fail("%s: %s", cli_escaped(path).c_str(), failure->message);
    g_error_free(failure);
    return status;
}

int cli_write_clean_image(const char *take_path, const std::vector<std::vector<tape_take_file>> &takes,
                          const std::vector<tape_rescued_file> &files, const sampling_option_values *options,
                          const char *tap_path, bool force)
{
    clean_tap_result result{};
    GError *failure = nullptr;
    if (!clean_tap_write(take_path, takes, files, options, tap_path, force, &result, &failure)) {
        const int status = cli_targets_write_failed(tap_path, failure);
        g_error_free(failure);
        return status;
    }
    cli_say(P_("%s: %u file written afresh", "%s: %u files written afresh", result.files_rebuilt),
            cli_escaped(tap_path).c_str(), result.files_rebuilt);
    return CLI_EXIT_OK;
}
