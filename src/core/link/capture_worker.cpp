#include "link/capture_worker.h"

#include "link/capture.h"
#include "link/capture_progress.h"
#include "link/console.h"
#include "link/handoff.h"
#include "link/handoff_frame.h"
#include "link/sample_pass.h"
#include "link/serial.h"
#include "translate.h"

#include <atomic>

const char capture_reason_no_port[] = N_("Unable to access communication port to device");
const char capture_reason_no_sync[] = N_("Unable to sync with device");
const char capture_reason_no_sampling[] = N_("Unable to start sampling on device");

static const unsigned read_size = 64;
static const gulong finish_delay_us = 1000;

static capture_worker_callbacks registered;
static std::atomic<bool> registered_ready{false};
static std::atomic<unsigned> quiet_time_ms{CAPTURE_QUIET_MS};

void capture_worker_set_quiet_time(unsigned milliseconds)
{
    quiet_time_ms.store(milliseconds);
}

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
    if (callbacks()->device_answered)
        callbacks()->device_answered();
    post(callbacks()->statusbar_update, const_cast<char *>(message));
}

// The light as the worker last set it (bit 0: on) and the number of its
// switches (the other bits). Written by the worker, read by the interface.
static std::atomic<guint32> light{0};

static const guint32 light_on_bit = 1;

static void switch_light(void *, int on)
{
    guint32 now = light.load(std::memory_order_relaxed);
    light.store(((now & ~light_on_bit) + 2) | (on ? light_on_bit : 0));
    handoff_frame_wake();
}

// The interface thread's side: the light word at the last look, what the
// light shows, and whether the last look changed it.
static guint32 light_seen;
static int light_shown;
static bool light_changed_last;

int capture_worker_show_light(void)
{
    guint32 now = light.load();
    guint32 switches = ((now >> 1) - (light_seen >> 1)) & (G_MAXUINT32 >> 1);
    light_seen = now;
    int target = (now & light_on_bit) != 0;
    if (switches >= 2) {
        // Switches faster than frames: the light changes every other look,
        // two frames a state, about the pace a tape playing gives it.
        target = light_changed_last ? light_shown : !light_shown;
    }
    light_changed_last = target != light_shown;
    // A single switch is shown as the worker made it, even when it leaves the
    // light as it was.
    if (!light_changed_last && switches != 1)
        return 0;
    light_shown = target;
    GSourceFunc show = light_shown ? callbacks()->led_on : callbacks()->led_off;
    if (show)
        show(nullptr);
    return 1;
}

const char *capture_worker_run(FILE *file, const char *port_name, const char *command,
                               const sampling_option_values *options, int *acknowledged,
                               tap_index_builder *image_index)
{
    if (acknowledged)
        *acknowledged = 0;
    post(callbacks()->statusbar_update, const_cast<char *>(N_("Press PLAY on tape...")));
    if (!serial_connect_and_configure_port(port_name))
        return capture_reason_no_port;
    if (!console_synch_with_device())
        return capture_reason_no_sync;
    if (!console_execute_command(command))
        return capture_reason_no_sampling;

    sample_pass pass;
    sample_pass_init(&pass, callbacks()->print_petscii_filename);
    sample_pass_use_capture_decoders(&pass);
    if (options)
        sample_pass_measure_for_options(&pass, options);
    guint64 health_news_seen = 0;
    if (callbacks()->tape_file) {
        sample_pass_list_files(&pass, callbacks()->tape_file);
        sample_pass_list_unread(&pass, callbacks()->unread_stretch);
    }
    if (image_index)
        sample_pass_index_image(&pass, image_index);
    capture_outputs outputs{post_status, switch_light, sample_pass_take, &pass};
    capture_state state;
    capture_init(&state, file, &outputs);
    state.quiet_limit_ms = quiet_time_ms.load();
    unsigned char buffer[read_size];
    gint64 last_data_us = g_get_monotonic_time();
    for (;;) {
        capture_before_read(&state);
        unsigned received = 0;
        bool failed;
        // An empty read is the 500 ms wait for the tape: ask again, unless
        // the silence ends the capture on a marker with stray bytes behind
        // it. A read takes what has come (the engine takes any chunking), so
        // a device whose packets straddle 64-byte requests costs no second
        // wait.
        do {
            failed = !serial_read_some(buffer, read_size, &received);
        } while (!failed && received == 0 &&
                 !capture_take_quiet(&state, guint64(g_get_monotonic_time() - last_data_us) / 1000));
        if (failed) {
            capture_read_failed(&state);
            break;
        }
        last_data_us = g_get_monotonic_time();
        // Nothing received: the silence has ended the capture.
        const int ended = capture_take_read(&state, buffer, received);
        sample_pass_publish_progress(&pass, capture_bytes_written(&state), &health_news_seen);
        if (ended)
            break;
    }
    sample_pass_finish(&pass);
    capture_progress_publish_read(sample_pass_read_ticks(&pass));
    if (acknowledged)
        *acknowledged = state.streaming;
    return capture_end_reason(&state);
}

void capture_worker_end(FILE *file, const char *reason, GSourceFunc finish)
{
    reason = capture_finish_file(file, reason);
    // The light ends dark: no frame after the last switch-off may bring back
    // a state it had before.
    light.store(light.load(std::memory_order_relaxed) & ~light_on_bit);
    handoff_frame_flush();
    post(callbacks()->led_off, nullptr);
    g_usleep(finish_delay_us);
    post(finish, const_cast<char *>(reason));
}
