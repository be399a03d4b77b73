#include "capture_worker.h"

#include "capture.h"
#include "capture_progress.h"
#include "console.h"
#include "handoff.h"
#include "handoff_lane.h"
#include "sample_pass.h"
#include "serial.h"
#include "translate.h"

#include <atomic>

const char capture_reason_no_port[] = N_("Unable to access communication port to device");
const char capture_reason_no_sync[] = N_("Unable to sync with device");
const char capture_reason_no_sampling[] = N_("Unable to start sampling on device");

static const unsigned read_size = 64;
static const gulong finish_delay_us = 1000;

static capture_worker_callbacks registered;
static std::atomic<bool> registered_ready{false};

void capture_worker_set_callbacks(const capture_worker_callbacks *callbacks)
{
    registered = *callbacks;
    registered_ready.store(true, std::memory_order_release);
}

static void post(GSourceFunc callback, gpointer data)
{
    if (callback)
        handoff_post(callback, data);
}

static const capture_worker_callbacks *callbacks(void)
{
    static const capture_worker_callbacks none{};
    return registered_ready.load(std::memory_order_acquire) ? &registered : &none;
}

static void post_status(void *, const char *message)
{
    post(callbacks()->statusbar_update, const_cast<char *>(message));
}

static gboolean run_led(gpointer on)
{
    GSourceFunc callback = on ? callbacks()->led_on : callbacks()->led_off;
    return callback ? callback(nullptr) : FALSE;
}

// Light switches waiting for the interface; more are dropped, which only
// happens when the stream comes far faster than a tape plays.
static handoff_lane led_lane{{run_led}, 4};

static void post_led(void *, int on)
{
    // A front end without a light (the command line) gets no hand-overs for it.
    if (callbacks()->led_on || callbacks()->led_off)
        handoff_lane_post(&led_lane, GINT_TO_POINTER(on));
}

const char *capture_worker_run(FILE *file, const char *port_name, const char *command)
{
    post(callbacks()->statusbar_update, const_cast<char *>(N_("Press PLAY on tape...")));
    if (!serial_connect_and_configure_port(port_name))
        return capture_reason_no_port;
    if (!console_synch_with_device())
        return capture_reason_no_sync;
    if (!console_execute_command(command))
        return capture_reason_no_sampling;

    sample_pass pass;
    sample_pass_init(&pass, callbacks()->print_petscii_filename);
    if (callbacks()->tape_file)
        sample_pass_list_files(&pass, callbacks()->tape_file);
    capture_outputs outputs{post_status, post_led, sample_pass_take, &pass};
    capture_state state;
    capture_init(&state, file, &outputs);
    unsigned char buffer[read_size];
    for (;;) {
        capture_before_read(&state);
        unsigned received = 0;
        bool failed;
        // An empty read is the 500 ms wait for the tape: ask again.
        do {
            failed = !serial_read(buffer, read_size, &received);
        } while (!failed && received == 0);
        if (failed) {
            capture_read_failed(&state);
            break;
        }
        const int ended = capture_take_read(&state, buffer, received);
        capture_progress_publish(pass.tape_ticks, capture_bytes_written(&state));
        capture_progress_publish_pulses(pass.samples);
        if (ended)
            break;
    }
    sample_pass_finish(&pass);
    return capture_end_reason(&state);
}

void capture_worker_end(FILE *file, const char *reason, GSourceFunc finish)
{
    reason = capture_finish_file(file, reason);
    post(callbacks()->led_off, nullptr);
    g_usleep(finish_delay_us);
    post(finish, const_cast<char *>(reason));
}
