// The capture worker's body: port, prompt, sampling command, then the read
// loop that feeds the capture engine and the sample pass.
//
// The worker reaches the interface only through handoff_post with the
// callbacks registered here. Closing the port from another thread
// (serial_disconnect_port) is the only way to stop it: its next read fails
// within about half a second and the capture ends with "Communication error".
#pragma once

#include "sampling_options.h"

#include <glib.h>
#include <stdio.h>

struct tap_index_builder;

extern const char capture_reason_no_port[];      // "Unable to access communication port to device"
extern const char capture_reason_no_sync[];      // "Unable to sync with device"
extern const char capture_reason_no_sampling[];  // "Unable to start sampling on device"

// What the worker posts; each member may be null (the post is then skipped).
// Status texts and names are queued one by one, in order, and never dropped.
// The light's switches wait for the interface's next frame
// (handoff_frame.h), which shows them through led_on and led_off with
// capture_worker_show_light; the switch-off at the end of a capture is
// queued as led_off directly.
struct capture_worker_callbacks {
    GSourceFunc statusbar_update;        // data: a string constant without leading space
    GSourceFunc led_on;                  // data: nullptr
    GSourceFunc led_off;                 // data: nullptr
    GSourceFunc print_petscii_filename;  // data: heap sample_pass_name; the callback frees it
    GSourceFunc tape_file = nullptr;     // data: heap copy of a tape_file_event (tape_index.h); the callback frees it
    // Called on the worker thread itself, at once, when the device has
    // acknowledged the command (before "Dumping..." is queued).
    void (*device_answered)(void) = nullptr;
    // data: heap tape_unread_stretch (tape_unread.h), while files are listed; the callback frees it
    GSourceFunc unread_stretch = nullptr;
};

// Registers the callbacks. Interface thread, before any capture starts.
void capture_worker_set_callbacks(const capture_worker_callbacks *callbacks);

// The silence after a marker with stray bytes behind it that ends a capture
// on it: CAPTURE_QUIET_MS (capture.h) unless changed. For tests, which hand
// in a short one. Any thread, while no capture runs.
void capture_worker_set_quiet_time(unsigned milliseconds);

// Runs one capture on the worker thread: posts "Press PLAY on tape...", opens
// port_name, waits for the prompt, sends command, waits for the
// acknowledgement (posting "Dumping..." or "Monitoring...") and takes the
// stream, writing it to file (nullptr: preview), until a result marker (one
// with stray bytes behind it once the device has been quiet for
// CAPTURE_QUIET_MS, capture.h), a file failure or a failed read. Leaves the
// port open and the file open.
// Returns nullptr for success or one of the fixed reasons. Blocks for the
// length of the capture; every wait ends within ~500 ms of a port close.
// After every read it publishes the tape time and dump bytes so far, and the
// live tape health figures when they changed (capture_progress.h; reset it
// before the worker starts), measured against the machine and video standard
// of `options` (nullptr: a C64 on PAL, the device's defaults); once the
// capture has ended, the tape time its files take, when they were listed.
// *acknowledged
// (may be null) is set to 1 when the device acknowledged the command, so the
// stream began, else 0. image_index (may be null) takes every file record of
// the capture (sample_pass_index_image), for the index of a TAP image made
// from the dump afterwards.
const char *capture_worker_run(FILE *file, const char *port_name, const char *command,
                               const sampling_option_values *options = nullptr, int *acknowledged = nullptr,
                               tap_index_builder *image_index = nullptr);

// The worker's common ending: closes file (if any), has every plot row and
// light switch left so far shown (handoff_frame_flush), posts led_off, sleeps
// 1 ms, then posts finish with the final reason (see capture_finish_file).
// Worker thread.
void capture_worker_end(FILE *file, const char *reason, GSourceFunc finish);

// Shows the light's switches since the last call, through led_on or led_off:
// a single switch as it is; when several came, the light changes every other
// call, so that it blinks at about a playing tape's pace however fast reads
// come; a call without news brings back the state the worker left. Returns 1
// when it switched the light, 0 when nothing changed. Interface thread, once
// per frame.
int capture_worker_show_light(void);
