// zr7k8 rescue: the files of a tape side combined from two or more takes
// (DMP files or TAP images), so that a file no take reads alone can come back
// from them together; its programs saved as `extract` saves them.
#include "cli.h"
#include "cli_commands.h"
#include "cli_names.h"
#include "cli_programs.h"
#include "tape/tape_rescue.h"
#include "tape_tap.h"
#include "translate.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

gchar *into = nullptr;

// Streams a DMP file through the take reader in fixed pieces: memory stays
// the same for a take of any length. False after saying why it failed.
bool read_dmp_take(const char *path, tape_take_reader *reader)
{
    FILE *file = g_fopen(path, "rb");
    if (!file) {
        cli_fail("%s: %s", path, g_strerror(errno));
        return false;
    }
    unsigned char bytes[65536];
    unsigned short samples[sizeof bytes / 2];
    bool carry = false; // an odd byte left over from the last piece
    unsigned char carried = 0;
    size_t got;
    while ((got = std::fread(bytes + (carry ? 1 : 0), 1, sizeof bytes - (carry ? 1 : 0), file)) > 0) {
        if (carry)
            bytes[0] = carried;
        const size_t have = got + (carry ? 1 : 0);
        const size_t count = have / 2;
        for (size_t i = 0; i < count; ++i)
            samples[i] = static_cast<unsigned short>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        tape_take_reader_feed(reader, samples, count);
        carry = have % 2 != 0;
        carried = bytes[have - 1];
    }
    const bool failed = std::ferror(file);
    const int error = errno;
    std::fclose(file);
    if (failed)
        cli_fail("%s: %s", path, g_strerror(error));
    return !failed;
}

bool read_tap_take(const char *path, tape_take_reader *reader)
{
    std::vector<unsigned short> samples;
    std::string error;
    if (!tape_tap_file_to_samples(path, 0, &samples, nullptr, &error)) {
        cli_fail("%s", error.c_str());
        return false;
    }
    tape_take_reader_feed(reader, samples.data(), samples.size());
    return true;
}

std::vector<tape_program> programs_of(const std::vector<tape_rescued_file> &files)
{
    std::vector<tape_program> programs;
    for (const tape_rescued_file &file : files) {
        if (file.outcome == tape_rescue_bad)
            continue;
        tape_program program;
        std::memcpy(program.name.data(), file.name, program.name.size());
        program.load_address = file.load_address;
        program.bytes = file.program;
        programs.push_back(std::move(program));
    }
    return programs;
}

}  // namespace

int cmd_rescue(int argc, char **argv)
{
    static const GOptionEntry entries[] = {
        {"into", 'o', 0, G_OPTION_ARG_FILENAME, &into,
         N_("Write the programs into DIR (default: the current folder), created if missing"), N_("DIR")},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    GOptionContext *context = cli_option_context(
        "rescue", N_("TAKE TAKE..."),
        N_("Combines two or more takes (DMP files or TAP images) of the same tape side byte by byte: every byte "
        "any take read cleanly counts, the majority decides where they differ, and each block's checksum "
        "decides whether the file came back. Prints one line per file: good, repaired, rescued (no take alone "
        "read it, the takes together do) or bad. The programs of all but the bad files are saved as `extract` "
        "saves them; no file is replaced without --force."),
        entries);
    cli_programs_add_force_option(context);
    cli_add_check_option(context);
    const int parsed = cli_parse(context, &argc, &argv, 2, -1);
    g_option_context_free(context);
    if (parsed != CLI_EXIT_OK)
        return parsed;

    std::vector<bool> is_tap;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        const int kind = tape_tap_file_check(argv[i], &error);
        if (kind == 0)
            return cli_refuse("%s: %s", argv[i], error.c_str());
        is_tap.push_back(kind == 1);
    }

    std::vector<std::vector<tape_take_file>> takes;
    for (int i = 1; i < argc; ++i) {
        auto reader = tape_take_reader_new();
        const bool read = is_tap[size_t(i - 1)] ? read_tap_take(argv[i], reader.get())
                                                : read_dmp_take(argv[i], reader.get());
        if (!read)
            return CLI_EXIT_FAILED;
        takes.push_back(tape_take_reader_finish(reader.get()));
    }

    bool shared = false;
    const std::vector<tape_rescued_file> files = tape_rescue(takes, &shared);
    if (!shared)
        cli_say("zr7k8: the takes have no file in common: each is judged on its own");
    for (const tape_rescued_file &file : files) {
        unsigned char name[17];
        std::memcpy(name, file.name, 16);
        name[16] = 0;
        cli_print_file_line(nullptr, file.tick, "verdict", name, tape_rescue_outcome_word(file.outcome));
        if (file.outcome == tape_rescue_bad)
            cli_count_bad_file();
    }

    const std::vector<tape_program> programs = programs_of(files);
    const std::vector<std::string> paths = cli_programs_paths(into ? into : ".", programs);
    const int checked = cli_programs_check_targets(paths);
    if (checked != CLI_EXIT_OK)
        return checked;
    const int written = cli_programs_write(paths, programs);
    if (written != CLI_EXIT_OK)
        return written;
    return cli_checked_status(CLI_EXIT_OK);
}
