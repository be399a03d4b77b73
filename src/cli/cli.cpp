#include "cli.h"

#include "cli_output.h"

#include "options.h"
#include "translate.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Set when a port name came from the settings file rather than the command line.
bool port_from_settings = false;

// The format is looked up in the catalogue: every call's format is a text
// for the user.
void print_line(const char *prefix, const char *format, va_list arguments)
{
    gchar *text = g_strdup_vprintf(_(format), arguments);
    fprintf(stderr, "%s%s\n", prefix, text);
    g_free(text);
}

// The client's settings, read once; the command line writes nothing there.
const char *settings_port(gchar **setting)
{
    static bool loaded = false;
    if (!loaded) {
        options_module_init_read_only();
        loaded = true;
        if (const char *problem = options_load_problem())
            cli_say("zr7k8: warning: the client's settings file %s is left as it is: %s",
                    cli_escaped(options_config_file_path()).c_str(), problem);
    }
    return *setting;
}

char *chosen_port(const char *given, gchar **setting, const char *what, const char *option)
{
    port_from_settings = given == nullptr;
    const char *port = given ? given : settings_port(setting);
    if (port == nullptr || port[0] == '\0') {
        cli_refuse("no %s: give %s, or set it in the client's Settings", _(what), option);
        return nullptr;
    }
    return g_strdup(port);
}

}  // namespace

const gchar *cli_translate(const gchar *text, gpointer)
{
    return _(text);
}

int cli_fail(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    print_line(CLI_PROGRAM ": ", format, arguments);
    va_end(arguments);
    return CLI_EXIT_FAILED;
}

int cli_refuse(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    print_line(CLI_PROGRAM ": ", format, arguments);
    va_end(arguments);
    return CLI_EXIT_USAGE;
}

void cli_say(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    print_line("", format, arguments);
    va_end(arguments);
}

GOptionContext *cli_option_context(const char *name, const char *arguments, const char *summary,
                                   const GOptionEntry *entries)
{
    // The usage line names the program as GLib knows it: "zr7k8 NAME".
    gchar *program = g_strdup_printf(CLI_PROGRAM " %s", name);
    g_set_prgname(program);
    g_free(program);
    GOptionContext *context = g_option_context_new(arguments);
    g_option_context_set_summary(context, summary);
    g_option_context_set_translate_func(context, cli_translate, nullptr, nullptr);
    if (entries)
        g_option_context_add_main_entries(context, entries, nullptr);
    return context;
}

int cli_parse(GOptionContext *context, int *argc, char ***argv, int min_args, int max_args)
{
    // Every entry added so far is in the main group; GLib's own texts come
    // from its own catalogue.
    if (GOptionGroup *entries = g_option_context_get_main_group(context))
        g_option_group_set_translate_func(entries, cli_translate, nullptr, nullptr);
    GError *error = nullptr;
    if (!g_option_context_parse(context, argc, argv, &error)) {
        int status = cli_refuse("%s (see: %s --help)", error->message, g_get_prgname());
        g_error_free(error);
        return status;
    }
    // What is left: the subcommand's name, then its arguments; GLib leaves a
    // "--" that follows an argument in place.
    for (int i = 1; i < *argc; ++i) {
        if (g_str_equal((*argv)[i], "--")) {
            for (int j = i; j < *argc - 1; ++j)
                (*argv)[j] = (*argv)[j + 1];
            --*argc;
            break;
        }
    }
    const int given = *argc - 1;
    if (given < min_args)
        return cli_refuse("missing argument (see: %s --help)", g_get_prgname());
    if (max_args >= 0 && given > max_args)
        return cli_refuse("unexpected argument '%s' (see: %s --help)", (*argv)[1 + max_args], g_get_prgname());
    return CLI_EXIT_OK;
}

void cli_add_port_option(GOptionContext *context, gchar **port)
{
    const GOptionEntry entries[] = {
        {"port", 'p', 0, G_OPTION_ARG_FILENAME, port,
         N_("The device's serial port, e.g. /dev/ttyACM0 (default: the client's setting)"), N_("PORT")},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_option_context_add_main_entries(context, entries, nullptr);
}

void cli_add_bootloader_port_option(GOptionContext *context, gchar **port)
{
    const GOptionEntry entries[] = {
        {"bootloader-port", 'b', 0, G_OPTION_ARG_FILENAME, port,
         N_("The serial port of the device's bootloader (default: the client's setting)"), N_("PORT")},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_option_context_add_main_entries(context, entries, nullptr);
}

char *cli_device_port(const char *given)
{
    return chosen_port(given, &options_device_port_string, N_("device port"), "--port");
}

char *cli_bootloader_port(const char *given)
{
    return chosen_port(given, &options_bootloader_port_string, N_("bootloader port"), "--bootloader-port");
}

void cli_explain_port(const char *port)
{
    if (port_from_settings && options_config_file_path())
        cli_say("The port \"%s\" is the client's setting (%s); give --port, or see: zr7k8 ports", port,
                cli_escaped(options_config_file_path()).c_str());
    else if (port_from_settings)
        cli_say("The port \"%s\" is the client's default; give --port, or see: zr7k8 ports", port);
    else
        cli_say("See: zr7k8 ports");
}
