// A device job run from the command line as the client runs it: one worker
// thread talks to the device, and the main thread runs a GLib main loop that
// takes the worker's hand-overs (handoff_post's default poster queues them on
// this loop), watches Ctrl-C and SIGTERM, and bounds the wait for the
// device's first answer.
//
// Ctrl-C or SIGTERM does what the client's Abort button does: the device port
// is closed, so the worker's next read or write fails within about half a
// second and the job ends through its ordinary failure path. The close is
// repeated until the job ends, so a port that was still being opened at the
// moment of the signal is closed too.
//
// A device that has not answered within CLI_DEVICE_ANSWER_MS (its prompt, or
// for a capture the sampling acknowledgement; ZR7K8_DEVICE_ANSWER_MS in the
// environment hands in another wait, see cli_handed_in_ms) has its port
// closed in the same way, and the job ends with the reason of the step that was waiting
// ("Unable to sync with device" for a device that stays silent). The client
// waits for such a device until the user aborts; a command in a script must
// not hang.
//
// Main thread only, except cli_job_device_answered.
#pragma once

#include <glib.h>

#define CLI_DEVICE_ANSWER_MS 5000u

struct cli_job {
    const char *thread_name;
    // Worker thread: does the job and, as its last act, queues
    // finish(reason) with handoff_post (reason: a constant, null on success).
    void (*work)(void *data, GSourceFunc finish);
    void *data;
    // Main thread, every tick_ms while the job runs; may be null.
    void (*tick)(void *data);
    unsigned tick_ms;
    // Main thread, once, at the first Ctrl-C or SIGTERM; may be null.
    void (*interrupted)(void *data);
};

struct cli_job_outcome {
    const char *reason;  // the worker's reason; null for success
    int interrupted;     // Ctrl-C or SIGTERM arrived before the end
};

// Starts the worker and runs the main loop until the worker's finish has
// run. The device port is closed afterwards. If no thread can be made,
// returns its message as the reason.
cli_job_outcome cli_job_run(const cli_job *job);

// The device has answered: its wait is no longer bounded. Any thread.
void cli_job_device_answered(void);

// The milliseconds that the environment variable `variable` holds (digits
// only, at most a day), else fallback. The tests hand the command line short
// waits this way instead of waiting out the real ones. Any thread.
unsigned cli_handed_in_ms(const char *variable, unsigned fallback);

// Reports a job's end on standard error and returns the exit status: after
// an interrupt `aborted` (CLI_EXIT_INTERRUPTED); after a failure "zr7k8: "
// and failed_pattern with the reason (CLI_EXIT_FAILED), with a word on the
// port when it could not be opened; else `succeeded` (CLI_EXIT_OK).
int cli_job_report(const cli_job_outcome *outcome, const char *port, const char *aborted,
                   const char *failed_pattern, const char *succeeded);
