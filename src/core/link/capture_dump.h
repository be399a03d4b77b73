// A capture's dump file: written under a temporary name beside the chosen
// path (staged_file.h) and put in place only once the device has
// acknowledged the capture, so that a capture that never started (no port,
// no device, no answer) leaves whatever the path held exactly as it was.
//
//   capture_dump *dump = capture_dump_create(path, &error);
//   reason = capture_worker_run(dump->stream, port, command, options, &acknowledged);
//   reason = capture_dump_finish(dump, reason, acknowledged, &kept);
//
// Once acknowledged, the dump is kept whatever the end (an abort or a failure
// keeps what arrived), synced to the disk before the finish returns.
//
// Any thread; a dump belongs to one thread at a time. Blocks only on the disk.
#pragma once

#include "staged_file.h"

#include <glib.h>
#include <stdio.h>

struct capture_dump {
    FILE *stream;         // the capture writes here (capture_worker_run's file)
    staged_file *staged;
};

// Makes the temporary file beside path. Returns null with *error set (the
// reason) when path names something other than a regular file or no file can
// be made in its folder; nothing is touched then.
capture_dump *capture_dump_create(const char *path, GError **error);

// Ends the dump after its capture ended with `reason` (null: success):
// closes the stream, then puts the dump in place when `acknowledged`, else
// removes it. Returns the capture's final reason: "Last file write failed"
// or "Last file operation failed" instead of success when the dump cannot be
// completed or put in place; other reasons unchanged. *kept (may be null) is
// 1 when the dump now stands under its path, 0 when not, and -1 when a file
// that appeared under the path during the capture (it was free at the
// creation) took it: that file is kept and the dump removed. Frees dump.
const char *capture_dump_finish(capture_dump *dump, const char *reason, int acknowledged, int *kept);

// Abandons a dump whose capture never ran: the target is not touched.
void capture_dump_discard(capture_dump *dump);
