#include "translate.h"

#include <libintl.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The arguments a printf format consumes, one token each ("s", "d", "lu",
// "*" for a width or precision taken from the arguments), each followed by
// a space. False for what no text of the program may carry: %n, positional
// arguments, an unknown or unfinished conversion.
bool translate_format_arguments(const char *format, std::string *arguments)
{
    for (const char *at = std::strchr(format, '%'); at; at = std::strchr(at, '%')) {
        ++at;
        if (*at == '%') {
            ++at;
            continue;
        }
        at += std::strspn(at, "-+ #0'I");
        for (int part = 0; part < 2; ++part) {  // width, then precision
            if (part == 1 && *at != '.')
                break;
            if (part == 1)
                ++at;
            if (*at == '*') {
                *arguments += "* ";
                ++at;
            } else {
                at += std::strspn(at, "0123456789");
            }
            if (*at == '$')
                return false;
        }
        const size_t length = std::strspn(at, "hlLqjzZt");
        if (length > 2 || *at == '\0' || !std::strchr("diouxXeEfFgGaAcsCSpm", at[length]))
            return false;
        arguments->append(at, length + 1);
        *arguments += ' ';
        at += length + 1;
    }
    return true;
}

}  // namespace

const char *translate_text(const char *text)
{
    const char *translated = dgettext(ZR7K8_TEXT_DOMAIN, text);
    if (translated == text)
        return text;
    std::string wanted, found;
    if (!translate_format_arguments(text, &wanted) || !translate_format_arguments(translated, &found) ||
        wanted != found)
        return text;
    return translated;
}

const char *translate_plural(const char *singular, const char *plural, unsigned long count)
{
    const char *english = count == 1 ? singular : plural;
    const char *translated = dngettext(ZR7K8_TEXT_DOMAIN, singular, plural, count);
    if (translated == singular || translated == plural)
        return translated;
    std::string wanted, found;
    if (!translate_format_arguments(english, &wanted) || !translate_format_arguments(translated, &found) ||
        wanted != found)
        return english;
    return translated;
}

gchar *translate_catalogue_folder_of(const char *executable)
{
    if (!g_path_is_absolute(executable))
        return nullptr;
    // The build folder as this machine names it; absent on a machine that
    // only has the installed program.
    char *build = realpath(ZR7K8_BUILD_DIR, nullptr);
    const bool in_build_tree = build && g_str_has_prefix(executable, build) &&
                               executable[std::strlen(build)] == G_DIR_SEPARATOR;
    std::free(build);
    if (in_build_tree)
        return g_strdup(ZR7K8_BUILD_CATALOGUE_DIR);
    gchar *bin = g_path_get_dirname(executable);
    gchar *joined = g_build_filename(bin, ZR7K8_CATALOGUE_DIR_FROM_BIN_DIR, nullptr);
    gchar *folder = g_canonicalize_filename(joined, nullptr);
    g_free(joined);
    g_free(bin);
    return folder;
}

bool translate_bind(const char *folder)
{
    if (!folder || !g_path_is_absolute(folder))
        return false;
    bindtextdomain(ZR7K8_TEXT_DOMAIN, folder);
    bind_textdomain_codeset(ZR7K8_TEXT_DOMAIN, "UTF-8");
    textdomain(ZR7K8_TEXT_DOMAIN);
    return true;
}

bool translate_bind_beside_program()
{
    gchar *executable = g_file_read_link("/proc/self/exe", nullptr);
    gchar *folder = executable ? translate_catalogue_folder_of(executable) : nullptr;
    const bool bound = translate_bind(folder ? folder : ZR7K8_INSTALLED_CATALOGUE_DIR);
    g_free(folder);
    g_free(executable);
    return bound;
}
