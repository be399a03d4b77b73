#include "cli_job.h"

#include "link/capture_worker.h"
#include "cli.h"
#include "link/serial.h"
#include "translate.h"

#include <glib-unix.h>

#include <atomic>
#include <csignal>

namespace {

// How often the port is closed again after an interrupt, until the job ends.
const unsigned reclose_interval_ms = 100;

struct running_job {
    const cli_job *job;
    GMainLoop *loop;
    cli_job_outcome outcome;
    guint deadline_source;  // 0 once it has fired
    guint reclose_source;   // 0 until an interrupt
};

running_job current;
std::atomic<bool> answered{false};

gboolean close_port_again(gpointer)
{
    serial_disconnect_port();
    return G_SOURCE_CONTINUE;
}

gboolean on_stop_signal(gpointer)
{
    if (current.outcome.interrupted)
        return G_SOURCE_CONTINUE;
    current.outcome.interrupted = 1;
    serial_disconnect_port();
    current.reclose_source = g_timeout_add(reclose_interval_ms, close_port_again, nullptr);
    if (current.job->interrupted)
        current.job->interrupted(current.job->data);
    return G_SOURCE_CONTINUE;
}

gboolean on_answer_deadline(gpointer)
{
    current.deadline_source = 0;
    if (!answered.load())
        serial_disconnect_port();
    return G_SOURCE_REMOVE;
}

gboolean on_tick(gpointer)
{
    current.job->tick(current.job->data);
    return G_SOURCE_CONTINUE;
}

gboolean on_finish(gpointer reason)
{
    current.outcome.reason = static_cast<const char *>(reason);
    g_main_loop_quit(current.loop);
    return G_SOURCE_REMOVE;
}

gpointer run_worker(gpointer)
{
    current.job->work(current.job->data, on_finish);
    return nullptr;
}

}  // namespace

void cli_job_device_answered(void)
{
    answered.store(true);
}

unsigned cli_handed_in_ms(const char *variable, unsigned fallback)
{
    const char *text = g_getenv(variable);
    guint64 value = 0;
    if (!text || !g_ascii_string_to_unsigned(text, 10, 0, 24 * 3600 * 1000, &value, nullptr))
        return fallback;
    return unsigned(value);
}

cli_job_outcome cli_job_run(const cli_job *job)
{
    current = running_job{job, g_main_loop_new(nullptr, FALSE), {}, 0, 0};
    answered.store(false);
    current.deadline_source = g_timeout_add(cli_handed_in_ms("ZR7K8_DEVICE_ANSWER_MS", CLI_DEVICE_ANSWER_MS),
                                            on_answer_deadline, nullptr);
    const guint interrupt_source = g_unix_signal_add(SIGINT, on_stop_signal, nullptr);
    const guint terminate_source = g_unix_signal_add(SIGTERM, on_stop_signal, nullptr);
    const guint tick_source = job->tick ? g_timeout_add(job->tick_ms, on_tick, nullptr) : 0;

    GError *error = nullptr;
    GThread *thread = g_thread_try_new(job->thread_name, run_worker, nullptr, &error);
    if (thread) {
        g_main_loop_run(current.loop);
        g_thread_join(thread);
    } else {
        // The message outlives the job: the caller prints it.
        static gchar *message = nullptr;
        g_free(message);
        message = g_strdup(error->message);
        current.outcome.reason = message;
        g_error_free(error);
    }

    for (guint source : {interrupt_source, terminate_source, tick_source, current.deadline_source,
                         current.reclose_source}) {
        if (source)
            g_source_remove(source);
    }
    serial_disconnect_port();
    g_main_loop_unref(current.loop);
    return current.outcome;
}

int cli_job_report(const cli_job_outcome *outcome, const char *port, const char *aborted,
                   const char *failed_pattern, const char *succeeded)
{
    if (outcome->interrupted) {
        cli_say("%s", _(aborted));
        return CLI_EXIT_INTERRUPTED;
    }
    if (outcome->reason) {
        gchar *text = g_strdup_printf(_(failed_pattern), _(outcome->reason));
        cli_fail("%s", text);
        g_free(text);
        if (outcome->reason == capture_reason_no_port) {
            // The system's own reason, kept by the open that failed.
            if (char *cause = serial_open_failure_text()) {
                cli_fail("%s", cause);
                g_free(cause);
            }
            cli_explain_port(port);
        }
        return CLI_EXIT_FAILED;
    }
    cli_say("%s", _(succeeded));
    return CLI_EXIT_OK;
}
