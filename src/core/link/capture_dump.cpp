#include "link/capture_dump.h"

#include "link/capture.h"

#include <errno.h>
#include <unistd.h>

capture_dump *capture_dump_create(const char *path, GError **error)
{
    staged_file *staged = staged_file_create(path, error);
    if (!staged)
        return nullptr;
    // The stream has a descriptor of its own: the capture closes it, the
    // staged file syncs and renames through the first.
    const int fd = dup(staged->fd);
    FILE *stream = fd >= 0 ? fdopen(fd, "w+b") : nullptr;
    if (!stream) {
        g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(errno), g_strerror(errno));
        if (fd >= 0)
            close(fd);
        staged_file_discard(staged);
        return nullptr;
    }
    capture_dump *dump = g_new(capture_dump, 1);
    dump->stream = stream;
    dump->staged = staged;
    return dump;
}

const char *capture_dump_finish(capture_dump *dump, const char *reason, int acknowledged, int *kept)
{
    reason = capture_finish_file(dump->stream, reason);
    int in_place = 0;
    if (acknowledged) {
        GError *error = nullptr;
        in_place = staged_file_commit(dump->staged, &error);
        if (!in_place && reason == nullptr)
            reason = capture_reason_last_operation_failed;
        if (g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_EXIST))
            in_place = -1;
        g_clear_error(&error);
    } else {
        staged_file_discard(dump->staged);
    }
    if (kept)
        *kept = in_place;
    g_free(dump);
    return reason;
}

void capture_dump_discard(capture_dump *dump)
{
    fclose(dump->stream);
    staged_file_discard(dump->staged);
    g_free(dump);
}
