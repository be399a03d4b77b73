#include "cli_capture.h"

#include "cli_output.h"
#include "cli_targets.h"

#include "link/capture_progress.h"
#include "link/capture_worker.h"
#include "cli.h"
#include "cli_job.h"
#include "cli_names.h"
#include "cli_programs.h"
#include "cli_progress.h"
#include "cli_sampling.h"
#include "link/capture_session.h"
#include "translate.h"

#include <csignal>

namespace {



gchar *port_option = nullptr;

unsigned statuses_seen;
unsigned names_found;

// The worker posts "Press PLAY on tape..." before it opens the port, and its
// second status ("Dumping..." or "Monitoring...") when the device has
// acknowledged the sampling command.
gboolean on_status(gpointer text)
{
    ++statuses_seen;
    cli_progress_status(static_cast<const char *>(text));
    return G_SOURCE_REMOVE;
}

gboolean on_tape_file(gpointer data)
{
    cli_progress_clear();
    const auto *record = static_cast<tape_file_event *>(data);
    if (const char *shown = cli_print_verdict(nullptr, record)) {
        cli_progress_name(shown);
        ++names_found;
    }
    cli_programs_take_during_capture(record);
    g_free(data);
    return G_SOURCE_REMOVE;
}

gboolean on_unread(gpointer data)
{
    cli_progress_clear();
    cli_print_unread(nullptr, static_cast<tape_unread_stretch *>(data));
    g_free(data);
    return G_SOURCE_REMOVE;
}

void show_progress(void *)
{
    guint64 ticks = 0, bytes = 0;
    capture_progress_read(&ticks, &bytes);
    tape_health_figures health;
    capture_progress_health(&health);
    cli_progress_health(&health);
    cli_progress_update(ticks, bytes, capture_progress_pulses());
}

void capture_work(void *data, GSourceFunc finish)
{
    auto *session = static_cast<capture_session *>(data);
    capture_session_run(session);
    capture_worker_end(nullptr, session->reason, finish);
}

}  // namespace

int cli_capture_parse(int *argc, char ***argv, const char *name, const char *arguments_text, int arguments,
                      const char *summary, const GOptionEntry *entries, cli_capture_setup *setup)
{
    GOptionContext *context = cli_option_context(name, arguments_text, summary, entries);
    cli_add_port_option(context, &port_option);
    cli_add_check_option(context);
    cli_add_health_option(context);
    cli_programs_add_folder_option(context);
    cli_sampling_add_options(context);
    const int parsed = cli_parse_with_sampling(context, argc, argv, arguments, arguments, &setup->options);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    setup->port = cli_device_port(port_option);
    return setup->port ? CLI_EXIT_OK : CLI_EXIT_USAGE;
}

int cli_capture_run(capture_dump *dump, const char *dump_path, const char *tap_path, bool force, const char *port,
                    const sampling_option_values *options)
{
    // No light and no plot here: their hand-overs are not even posted. The
    // device's answer is marked from the worker itself, so the answer
    // deadline cannot fire while its status waits in the queue.
    static const capture_worker_callbacks callbacks{on_status,    nullptr, nullptr, nullptr, on_tape_file,
                                                    cli_job_device_answered, on_unread};
    capture_worker_set_callbacks(&callbacks);
    capture_progress_reset();
    // A reader of standard output that goes away must not end the capture
    // before the file has what arrived.
    signal(SIGPIPE, SIG_IGN);
    statuses_seen = 0;
    names_found = 0;
    cli_progress_start(dump != nullptr);

    capture_session session{port, *options, dump, dump_path, tap_path, force};
    const cli_job run{dump ? "dump" : "monitor", capture_work, &session, show_progress, CLI_PROGRESS_INTERVAL_MS,
                      nullptr};
    const cli_job_outcome outcome = cli_job_run(&run);
    cli_progress_clear();
    if (statuses_seen >= 2) {
        show_progress(nullptr);
        cli_progress_finish(names_found, capture_progress_read_ticks());
    }
    int status = cli_job_report(&outcome, port, N_("Operation aborted"), "%s", N_("Operation succeeded"));
    if (session.kept < 0)
        status = cli_refuse("'%s' appeared meanwhile and is kept (--force replaces it); the dump is not written",
                            cli_escaped(dump_path).c_str());
    if (session.tap_written) {
        cli_say("TAP image: %s", cli_escaped(tap_path).c_str());
    } else if (session.tap_error) {
        const int failed = cli_targets_write_failed(tap_path, session.tap_error);
        if (status == CLI_EXIT_OK)
            status = failed;
    }
    capture_session_clear(&session);
    return status;
}
