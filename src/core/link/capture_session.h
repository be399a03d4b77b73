// One capture from start to end, as both front ends run it: the sampling
// command built from the options, the capture worker's run, the end of the
// dump (put in place once the device answered), and the TAP image with its
// index made from the dump in place, when asked and when the dump holds a
// sample.
//
//   capture_session session{port, options, dump, dump_path, tap_path};
//   capture_session_run(&session);   // on the worker thread
//   ... session.reason, session.kept, session.tap_error ...
//   capture_session_clear(&session);
//
// The worker's callbacks (capture_worker_set_callbacks) and the progress
// (capture_progress.h) are the caller's to set up before; the final reason
// is the caller's to post (capture_worker_end). Blocks for the length of the
// capture and the writing of the image; worker thread.
#pragma once

#include "link/capture_dump.h"
#include "sampling_options.h"

#include <glib.h>

struct capture_session {
    // What to run.
    const char *port;
    sampling_option_values options;
    capture_dump *dump;     // null: a preview; else taken over and finished by the run
    const char *dump_path;  // the dump's path (with dump)
    const char *tap_path;   // where the TAP image goes, or null for none
    int replace_image = 0;  // the image and its index may replace files (tap_file_create)

    // What came of it.
    const char *reason = nullptr;  // the capture's final reason; null for success
    int kept = 0;                  // as capture_dump_finish sets it (1: the dump stands under dump_path)
    int tap_written = 0;           // the TAP image (and its index) stands under tap_path
    GError *tap_error = nullptr;   // why the image (or, a TAP_INDEX_ERROR, its index) was not written
};

// Runs the capture and everything after it up to the reason's post.
void capture_session_run(capture_session *session);

// Frees what the run left in session (tap_error). Any thread.
void capture_session_clear(capture_session *session);
