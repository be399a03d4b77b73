// The command line's shared parts: exit codes, messages, option parsing and
// the device port.
//
// Messages for the user go to standard error, one line each, prefixed with
// the program's name; results (file names found on a tape) go to standard
// output. Everything here runs on the main thread.
#pragma once

#include <glib.h>

#define CLI_PROGRAM "zr7k8"

// Exit statuses, as git and curl use them.
enum {
    CLI_EXIT_OK = 0,           // the job was done
    CLI_EXIT_FAILED = 1,       // the job failed; the reason was printed
    CLI_EXIT_USAGE = 2,        // the command line or an input file was refused; nothing was done
    CLI_EXIT_BAD_FILE = 3,     // with --check: the job was done, and a file on the tape read back bad
    CLI_EXIT_UNREAD = 4,       // with --check: the job was done, no file was bad, but a stretch was read by no format
    CLI_EXIT_INTERRUPTED = 130 // Ctrl-C or SIGTERM ended the job
};

// Messages pass through the catalogue (translate.h): the format of every
// cli_fail, cli_refuse and cli_say is a text for the user, looked up as it
// stands at the call. The fields of the lines on standard output (times,
// loaders, the word verdict and the verdicts, names) never are.

// GLib's translate function for option help texts: translate_text.
const gchar *cli_translate(const gchar *text, gpointer data);

// Prints "zr7k8: " and the formatted message as one line on standard error.
// Returns CLI_EXIT_FAILED, so that `return cli_fail(...)` ends a job.
int cli_fail(const char *format, ...) G_GNUC_PRINTF(1, 2);

// The same for a refused command line or input. Returns CLI_EXIT_USAGE.
int cli_refuse(const char *format, ...) G_GNUC_PRINTF(1, 2);

// One line of talk on standard error (no prefix): what happened, not a fault.
void cli_say(const char *format, ...) G_GNUC_PRINTF(1, 2);

// A subcommand's option parser: usage text "zr7k8 NAME [OPTION...] ARGS",
// its summary, and --help. Free with g_option_context_free.
GOptionContext *cli_option_context(const char *name, const char *arguments, const char *summary,
                                   const GOptionEntry *entries);

// Parses *argc/*argv (argv[0] is the subcommand's name) and checks that
// between min_args and max_args (-1: any number) arguments remain.
// Returns CLI_EXIT_OK, or CLI_EXIT_USAGE after printing why. --help prints
// the help and exits with 0.
int cli_parse(GOptionContext *context, int *argc, char ***argv, int min_args, int max_args);

// Adds --port (-p) PORT, or --bootloader-port (-b) PORT, to a parser.
void cli_add_port_option(GOptionContext *context, gchar **port);
void cli_add_bootloader_port_option(GOptionContext *context, gchar **port);

// The device or bootloader port: `given` (from --port or --bootloader-port)
// when set, else the client's setting from its settings file (its default
// when the file is missing; a warning when the file cannot be read; the
// command line never writes the file). Returns a new string
// (g_free), or nullptr after printing why when the port is empty.
char *cli_device_port(const char *given);
char *cli_bootloader_port(const char *given);

// After "Unable to access communication port to device": says where the port
// name came from and what to do about it.
void cli_explain_port(const char *port);
