// zr7k8-devsim: the simulated device as a program. Prints the path of its
// pseudo-terminal, logs what happens on standard error, and runs until it is
// interrupted (Ctrl+C) or terminated.
#include "devsim.h"

#include <glib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

gchar *link_path = nullptr;
gchar *dmp_path = nullptr;
gchar *greeting = nullptr;
gint64 pattern_samples = -1;
gboolean fast = FALSE;
gint64 rate = devsim_line_rate;
gint64 write_size = 256;
gboolean fail_run = FALSE;
gboolean no_prompt = FALSE;
gint64 prompt_delay = 0;
gboolean no_echo = FALSE;
gboolean wrong_echo = FALSE;
gboolean no_ack = FALSE;
gint64 garbage = 0;
gchar **pauses = nullptr;
gint64 unplug_at = -1;
gchar *split_marker = nullptr;
gchar *after_marker = nullptr;
gint64 absent = 300;
gboolean quiet = FALSE;

const GOptionEntry entries[] = {
    {"link", 'l', 0, G_OPTION_ARG_FILENAME, &link_path,
     "Also make PATH a symbolic link to the pseudo-terminal, kept pointing at it when the device comes back "
     "after a reboot (a port name that stays the same)", "PATH"},
    {"dmp", 'd', 0, G_OPTION_ARG_FILENAME, &dmp_path,
     "Send the bytes of FILE (a DMP dump) as the sample stream of every sampling run", "FILE"},
    {"pattern", 0, 0, G_OPTION_ARG_INT64, &pattern_samples,
     "Send N samples of a simple pulse pattern instead of the built-in tape", "N"},
    {"greeting", 'g', 0, G_OPTION_ARG_STRING, &greeting,
     "Send TEXT before the prompt when a client opens the port (C escapes such as \\r\\n work)", "TEXT"},
    {"fast", 'f', 0, G_OPTION_ARG_NONE, &fast,
     "Send the stream as fast as the client reads it, not at the line rate", nullptr},
    {"rate", 'r', 0, G_OPTION_ARG_INT64, &rate,
     "Send the stream at BYTES per second (default 92160, the rate of a 921600-baud line)", "BYTES"},
    {"write-size", 0, 0, G_OPTION_ARG_INT64, &write_size,
     "Send the paced stream in writes of BYTES (default 256; a USB device sends 64, at most 4096)", "BYTES"},
    {"fail", 0, 0, G_OPTION_ARG_NONE, &fail_run,
     "End every sampling run with the failure marker \"KO!\\r\\n> \"", nullptr},
    {"no-prompt", 0, 0, G_OPTION_ARG_NONE, &no_prompt, "Fault: never show the prompt", nullptr},
    {"prompt-delay", 0, 0, G_OPTION_ARG_INT64, &prompt_delay,
     "Wait MS milliseconds after a client opens the port before the greeting and the prompt", "MS"},
    {"no-echo", 0, 0, G_OPTION_ARG_NONE, &no_echo, "Fault: echo nothing of the command lines", nullptr},
    {"wrong-echo", 0, 0, G_OPTION_ARG_NONE, &wrong_echo,
     "Fault: answer the CR of a command line with LF CR instead of CR LF", nullptr},
    {"no-ack", 0, 0, G_OPTION_ARG_NONE, &no_ack,
     "Fault: answer a sampling command with its echo only (no \"OK\\r\\n\", no stream)", nullptr},
    {"garbage", 0, 0, G_OPTION_ARG_INT64, &garbage,
     "Fault: send N bytes of noise between the echo of a sampling command and \"OK\\r\\n\"", "N"},
    {"pause", 0, 0, G_OPTION_ARG_STRING_ARRAY, &pauses,
     "Fault: after OFFSET bytes of stream, stay silent for MS milliseconds (may be repeated)", "OFFSET:MS"},
    {"unplug", 0, 0, G_OPTION_ARG_INT64, &unplug_at,
     "Fault: vanish after OFFSET bytes of stream, as when the cable is pulled, and come back later", "OFFSET"},
    {"split-marker", 0, 0, G_OPTION_ARG_STRING, &split_marker,
     "Fault: send the result marker in two writes, the first holding its first K bytes (1 to 6), with MS "
     "milliseconds of silence between them (default 100)", "K[:MS]"},
    {"after-marker", 0, 0, G_OPTION_ARG_STRING, &after_marker,
     "Fault: send TEXT right behind the result marker, in the same write (C escapes such as \\n work)", "TEXT"},
    {"absent", 0, 0, G_OPTION_ARG_INT64, &absent,
     "Stay away MS milliseconds after a reboot or an unplug (default 300)", "MS"},
    {"quiet", 'q', 0, G_OPTION_ARG_NONE, &quiet, "Log nothing on standard error", nullptr},
    {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
};

bool fail(const std::string &message)
{
    fprintf(stderr, "zr7k8-devsim: %s\n", message.c_str());
    return false;
}

bool in_range(gint64 value, gint64 low, gint64 high, const char *what)
{
    if (value < low || value > high)
        return fail(std::string(what) + " out of range");
    return true;
}

// "A:B" or "A" (with `second` left as it is) into two non-negative numbers.
bool parse_pair(const char *text, guint64 *first, guint64 *second, bool second_required)
{
    gchar **parts = g_strsplit(text, ":", 2);
    bool ok = parts[0] && g_ascii_string_to_unsigned(parts[0], 10, 0, G_MAXUINT32, first, nullptr) &&
              (parts[1] ? g_ascii_string_to_unsigned(parts[1], 10, 0, G_MAXUINT32, second, nullptr)
                        : !second_required);
    g_strfreev(parts);
    return ok;
}

bool build_options(devsim_options *options)
{
    if (link_path)
        options->link_path = link_path;
    if (greeting) {
        gchar *text = g_strcompress(greeting);
        options->greeting = text;
        g_free(text);
    }
    if (dmp_path && pattern_samples >= 0)
        return fail("--dmp and --pattern exclude each other");
    if (dmp_path) {
        std::string path = dmp_path;
        if (!devsim_stream_from_file(path))
            return fail("cannot read " + path);
        options->stream = [path](const devsim_sampling_request &) { return devsim_stream_from_file(path); };
    } else if (pattern_samples >= 0) {
        unsigned long samples = (unsigned long)pattern_samples;
        options->stream = [samples](const devsim_sampling_request &) {
            return devsim_stream_pulse_pattern(samples);
        };
    }
    if (!in_range(rate, 1, G_MAXUINT32, "--rate") || !in_range(write_size, 1, 4096, "--write-size") || !in_range(prompt_delay, 0, 3600000, "--prompt-delay") ||
        !in_range(garbage, 0, 1 << 24, "--garbage") || !in_range(unplug_at, -1, G_MAXINT32, "--unplug") ||
        !in_range(absent, 0, 3600000, "--absent"))
        return false;
    if (no_echo && wrong_echo)
        return fail("--no-echo and --wrong-echo exclude each other");
    options->bytes_per_second = fast ? 0 : unsigned(rate);
    options->paced_write_size = unsigned(write_size);
    options->fail_run = fail_run;
    options->send_prompt = !no_prompt;
    options->prompt_delay_ms = unsigned(prompt_delay);
    options->echo = no_echo ? devsim_echo::none : wrong_echo ? devsim_echo::wrong : devsim_echo::normal;
    options->send_ack = !no_ack;
    options->garbage_before_ack = size_t(garbage);
    options->unplug_after_bytes = long(unplug_at);
    options->absent_ms = unsigned(absent);
    for (gchar **pause = pauses; pause && *pause; pause++) {
        guint64 offset = 0, ms = 0;
        if (!parse_pair(*pause, &offset, &ms, true))
            return fail(std::string("--pause wants OFFSET:MS, not ") + *pause);
        options->pauses.emplace_back(size_t(offset), unsigned(ms));
    }
    if (split_marker) {
        guint64 cut = 0, ms = options->split_marker_pause_ms;
        if (!parse_pair(split_marker, &cut, &ms, false) || cut < 1 || cut > 6)
            return fail(std::string("--split-marker wants K[:MS] with K from 1 to 6, not ") + split_marker);
        options->split_marker_at = unsigned(cut);
        options->split_marker_pause_ms = unsigned(ms);
    }
    if (after_marker) {
        gchar *text = g_strcompress(after_marker);
        options->after_marker = text;
        g_free(text);
    }
    if (!quiet)
        options->log = [](const std::string &line) { fprintf(stderr, "zr7k8-devsim: %s\n", line.c_str()); };
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    GOptionContext *context = g_option_context_new(nullptr);
    g_option_context_set_summary(context,
        "Plays a ZR7K8-LC tape sampling device on a pseudo-terminal, for trying the client without hardware.\n"
        "Prints the path of the pseudo-terminal; open it as the device port. The device shows its prompt\n"
        "\"\\r\\n> \" when the port is opened, echoes each command line, answers \"u F M V\" with \"OK\\r\\n\",\n"
        "a sample stream and \"OK!\\r\\n> \", and restarts on \"b\". Runs until interrupted.");
    g_option_context_add_main_entries(context, entries, nullptr);
    GError *error = nullptr;
    if (!g_option_context_parse(context, &argc, &argv, &error)) {
        fprintf(stderr, "zr7k8-devsim: %s\n", error->message);
        g_error_free(error);
        g_option_context_free(context);
        return 2;
    }
    g_option_context_free(context);
    devsim_options options;
    if (!build_options(&options))
        return 2;

    // The simulator's thread inherits this mask, so the signals reach sigwait.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    std::string reason;
    devsim *sim = devsim_start(options, &reason);
    if (sim == nullptr) {
        fprintf(stderr, "zr7k8-devsim: %s\n", reason.c_str());
        return 1;
    }
    printf("%s\n", devsim_get_status(sim).pty_path.c_str());
    fflush(stdout);

    int received = 0;
    sigwait(&stop_signals, &received);
    devsim_stop(sim);
    return 0;
}
