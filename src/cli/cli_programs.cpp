#include "cli_programs.h"

#include "cli.h"
#include "cli_output.h"
#include "translate.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <cstring>

namespace {

gboolean force = FALSE;
gchar *capture_folder = nullptr;
std::vector<std::string> capture_names; // file names given during this capture
int capture_status = CLI_EXIT_OK;

// Creates folder and its parents; false after saying why not.
bool make_folder(const std::string &folder)
{
    if (g_mkdir_with_parents(folder.c_str(), 0777) == 0)
        return true;
    cli_refuse("cannot create folder '%s': %s", cli_escaped(folder.c_str()).c_str(), g_strerror(errno));
    return false;
}

std::string path_in(const std::string &folder, const std::string &name)
{
    gchar *path = g_build_filename(folder.c_str(), name.c_str(), nullptr);
    std::string joined = path;
    g_free(path);
    return joined;
}

}  // namespace

void cli_programs_add_folder_option(GOptionContext *context)
{
    static const GOptionEntry entries[] = {
        {"programs", 'P', 0, G_OPTION_ARG_FILENAME, &capture_folder,
         N_("Save each program read back good or repaired as a .prg file in DIR"), N_("DIR")},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_option_context_add_main_entries(context, entries, nullptr);
}

void cli_programs_add_force_option(GOptionContext *context)
{
    static const GOptionEntry entries[] = {
        {"force", 'f', 0, G_OPTION_ARG_NONE, &force, N_("Replace program files that exist"), nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_option_context_add_main_entries(context, entries, nullptr);
}

void cli_programs_set_force(gboolean replace)
{
    force = replace;
}

bool cli_programs_force(void)
{
    return force;
}

void cli_programs_collect(const tape_file_event *record, std::vector<tape_program> *programs)
{
    if (!record->program)
        return;
    tape_program program;
    std::memcpy(program.name.data(), record->name, program.name.size());
    program.load_address = record->load_address;
    program.bytes.assign(record->program, record->program + record->program_length);
    programs->push_back(std::move(program));
}

std::vector<std::string> cli_programs_paths(const std::string &folder, const std::vector<tape_program> &programs)
{
    std::vector<std::string> paths;
    for (const std::string &name : program_file_names(programs))
        paths.push_back(path_in(folder, name));
    return paths;
}

int cli_programs_write(const std::vector<std::string> &paths, const std::vector<tape_program> &programs)
{
    for (size_t i = 0; i < programs.size(); ++i) {
        gchar *folder = g_path_get_dirname(paths[i].c_str());
        const bool made = make_folder(folder);
        g_free(folder);
        int status = made ? CLI_EXIT_OK : CLI_EXIT_FAILED;
        std::string error;
        bool exists = false;
        const std::string shown = cli_escaped(paths[i].c_str());
        if (made && !program_file_write(paths[i], programs[i], force, &error, &exists))
            status = exists ? cli_refuse("'%s' appeared meanwhile and is kept (--force replaces it)", shown.c_str())
                            : cli_fail("cannot write '%s': %s", shown.c_str(), error.c_str());
        if (status != CLI_EXIT_OK) {
            cli_say(P_("%zu program written before, %zu not", "%zu programs written before, %zu not", i), i,
                    programs.size() - i);
            return status;
        }
        cli_say("Program: %s", shown.c_str());
    }
    return CLI_EXIT_OK;
}

int cli_programs_prepare_capture(void)
{
    capture_names.clear();
    capture_status = CLI_EXIT_OK;
    if (!capture_folder)
        return CLI_EXIT_OK;
    return make_folder(capture_folder) ? CLI_EXIT_OK : CLI_EXIT_USAGE;
}

void cli_programs_take_during_capture(const tape_file_event *record)
{
    if (!capture_folder || !record->program)
        return;
    std::vector<tape_program> one;
    cli_programs_collect(record, &one);
    const std::string path = path_in(capture_folder, program_file_name_next(record->name, &capture_names));
    const std::string shown = cli_escaped(path.c_str());
    std::string error;
    bool exists = false;
    if (!program_file_write(path, one.front(), force, &error, &exists)) {
        if (exists) {
            cli_refuse("'%s' exists: --force replaces it; program not written", shown.c_str());
            if (capture_status == CLI_EXIT_OK)
                capture_status = CLI_EXIT_USAGE;
        } else {
            cli_fail("cannot write '%s': %s", shown.c_str(), error.c_str());
            capture_status = CLI_EXIT_FAILED;
        }
        return;
    }
    cli_say("Program: %s", shown.c_str());
}

int cli_programs_status(int status)
{
    return status == CLI_EXIT_OK ? capture_status : status;
}
