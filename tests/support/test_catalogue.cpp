#include "test_catalogue.h"

#include "config_home.h"

#include <glib.h>

#include <stdexcept>

const char test_german_locale[] = "de_DE.UTF-8";

namespace {

std::string po_quoted(const std::string &text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        if (c == '\n')
            quoted += "\\n";
        else
            quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

void test_compile_catalogue(const std::string &folder, const std::string &language,
                            const std::vector<std::pair<std::string, std::string>> &entries)
{
    std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
    for (const auto &[english, translated] : entries)
        po += "\nmsgid " + po_quoted(english) + "\nmsgstr " + po_quoted(translated) + "\n";
    const std::string po_file = folder + "/" + language + ".po";
    test_write_file(po_file, po);
    const std::string mo_folder = folder + "/" + language + "/LC_MESSAGES";
    g_mkdir_with_parents(mo_folder.c_str(), 0700);
    const std::string output = "--output-file=" + mo_folder + "/zr7k8-client.mo";
    const char *argv[] = {"msgfmt", output.c_str(), po_file.c_str(), nullptr};
    gint status = -1;
    GError *error = nullptr;
    const bool ran = g_spawn_sync(nullptr, const_cast<char **>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                                  nullptr, nullptr, nullptr, &status, &error);
    const std::string reason = error ? error->message : "msgfmt failed";
    if (error)
        g_error_free(error);
    if (!ran || !g_spawn_check_wait_status(status, nullptr))
        throw std::runtime_error("cannot compile " + po_file + ": " + reason);
}
