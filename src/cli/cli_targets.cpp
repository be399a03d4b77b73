#include "cli_targets.h"

#include "cli.h"
#include "cli_output.h"
#include "staged_file.h"
#include "tape/tap_index_file.h"
#include "tape/tap_writer.h"
#include "translate.h"

#include <glib/gstdio.h>

namespace {

struct identity {
    bool known;
    dev_t device;
    ino_t inode;
};

// The file under path, symbolic links followed; unknown when there is none.
identity identity_of(const std::string &path)
{
    GStatBuf status;
    if (g_stat(path.c_str(), &status) != 0)
        return {false, 0, 0};
    return {true, status.st_dev, status.st_ino};
}

bool same(const identity &a, const identity &b)
{
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

int refuse_output(const std::string &output, const GError *reason)
{
    return cli_refuse("will not write '%s': %s; nothing written", cli_escaped(output.c_str()).c_str(),
                      reason->message);
}

}  // namespace

int cli_targets_check(const std::vector<std::string> &outputs, const std::vector<std::string> &inputs, bool force)
{
    std::vector<identity> input_files;
    for (const std::string &input : inputs)
        input_files.push_back(identity_of(input));
    std::vector<identity> output_files;
    for (const std::string &output : outputs) {
        const identity file = identity_of(output);
        for (size_t i = 0; i < inputs.size(); ++i) {
            if (same(file, input_files[i]) || output == inputs[i])
                return cli_refuse("'%s' is the input '%s': no output replaces an input; nothing written",
                                  cli_escaped(output.c_str()).c_str(), cli_escaped(inputs[i].c_str()).c_str());
        }
        for (size_t i = 0; i < output_files.size(); ++i) {
            if (same(file, output_files[i]) || output == outputs[i])
                return cli_refuse("'%s' and '%s' are one file: it cannot hold two outputs; nothing written",
                                  cli_escaped(outputs[i].c_str()).c_str(), cli_escaped(output.c_str()).c_str());
        }
        output_files.push_back(file);

        GError *error = nullptr;
        const staged_target target = staged_file_look_at_target(output.c_str(), &error);
        if (target == STAGED_TARGET_REFUSED) {
            const int status = refuse_output(output, error);
            g_error_free(error);
            return status;
        }
        if (target == STAGED_TARGET_FILE && !force)
            return cli_refuse("'%s' exists: --force replaces it; nothing written", cli_escaped(output.c_str()).c_str());
    }
    // Said only once every output passed, so that a refused run says nothing
    // of files it leaves alone.
    for (const std::string &output : outputs) {
        // A link is replaced, not followed: the file behind it is untouched.
        GStatBuf status;
        if (g_lstat(output.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        if (const unsigned others = staged_file_other_links(output.c_str()))
            cli_say(P_("Note: '%s' has %u other name (a hard link); that name keeps what the file holds now",
                       "Note: '%s' has %u other names (hard links); those names keep what the file holds now",
                       others),
                    cli_escaped(output.c_str()).c_str(), others);
    }
    return CLI_EXIT_OK;
}

std::vector<std::string> cli_targets_of_image(const char *tap_path)
{
    gchar *index = tap_index_path(tap_path);
    std::vector<std::string> outputs{tap_path, index};
    g_free(index);
    return outputs;
}

int cli_targets_write_failed(const char *path, const GError *error)
{
    const std::string shown = cli_escaped(path);
    const bool taken = error->code == G_FILE_ERROR_EXIST;
    if (error->domain == TAP_INDEX_ERROR) {
        gchar *index = tap_index_path(path);
        const std::string shown_index = cli_escaped(index);
        g_free(index);
        if (taken)
            return cli_refuse("%s written; its index %s not: a file of that name appeared meanwhile and is kept "
                              "(--force replaces it)",
                              shown.c_str(), shown_index.c_str());
        return cli_fail("%s written; its index %s not: %s", shown.c_str(), shown_index.c_str(), error->message);
    }
    if (taken && error->domain == G_FILE_ERROR)
        return cli_refuse("'%s' appeared meanwhile and is kept (--force replaces it); nothing written there",
                          shown.c_str());
    return cli_fail("%s not written: %s", shown.c_str(), error->message);
}
