// Jobs that read tape files on a worker thread (Rescue..., Save Clean
// TAP...): the toolbar is busy while one runs, the status bar says what it
// reads and how far it has come (a few times a second), Abort stops it at
// the reader's next piece, and its outcome is shown on the interface thread.
//
// The worker never calls GTK+: it reports through the job's read control
// (tape/tape_read_control.h), which the interface polls, and hands its
// result over in the job's data, which the finish receives through an idle
// callback (handoff_post) once the worker is done with it. One job at a
// time, like every operation.
#pragma once

#include "tape/tape_read_control.h"

#include <gtk/gtk.h>

struct file_job_kind {
    const char *thread_name;
    // Worker thread: does the job on data, reporting through control.
    // Returns true when it ended early because control asked it to stop.
    bool (*run)(gpointer data, tape_read_control *control);
    // Interface thread, while the worker runs: the status text for the step
    // (a heap string, freed by the caller); percent is -1 while unknown. May
    // read only what the worker does not write.
    gchar *(*progress_text)(gconstpointer data, unsigned step, int percent);
    // Interface thread, once the worker is done: shows the outcome (stopped:
    // the job ended early on Abort's request).
    void (*finish)(gpointer data, bool stopped);
    // Interface thread: frees data, after the finish or in place of it.
    void (*free_data)(gpointer data);
};

// Starts kind's worker on data (its own from now on). Returns TRUE once it
// runs, the toolbar busy; FALSE when no thread could be made: the status bar
// says why, the toolbar stays as it was, and data is freed.
// Interface thread.
gboolean callbacks_file_job_start(const file_job_kind *kind, gpointer data);

// Asks the running job, if any, to stop at its next piece (Abort, Quit).
// Interface thread.
void callbacks_file_job_stop(void);

// Whether the file at path (file-name encoding) can be read as a tape
// (tape_input_check): a TAP image, or a DMP file, which has no header, so
// that only its name ending in .DMP (any case) tells it from any other file.
// Says why not in the status bar (" Cannot open NAME: ..."). Interface
// thread; reads the file's start.
gboolean callbacks_file_job_check_tape(const gchar *path);
