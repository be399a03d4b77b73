#include "link/capture_session.h"

#include "link/capture_worker.h"
#include "link/sampling_command.h"
#include "tape/dmp.h"
#include "tape/tap_index_file.h"
#include "tape/tap_writer.h"

#include <glib/gstdio.h>

#include <memory>

namespace {

// The image is made from the dump as it stands on disk once in place, when
// it holds at least one sample.
void write_tap_image(capture_session *session, tap_index_builder *image_index)
{
    GStatBuf status;
    if (g_stat(session->dump_path, &status) != 0 || status.st_size < goffset(dmp_bytes_per_sample))
        return;
    if (tap_write_file_from_dmp(session->dump_path, session->tap_path, session->replace_image, &session->options,
                                nullptr, &session->tap_error, image_index))
        session->tap_written = 1;
}

}  // namespace

void capture_session_run(capture_session *session)
{
    const sampling_option_values &options = session->options;
    char *command = sampling_command_build(options.machine_type, options.video_standard, options.dump_half_waves,
                                           options.rising_active);
    int acknowledged = 0;
    // The image's index takes its files from the capture's own reading.
    std::unique_ptr<tap_index_builder> image_index;
    if (session->dump && session->tap_path) {
        image_index = std::make_unique<tap_index_builder>();
        tap_index_builder_init(image_index.get());
    }
    session->reason = capture_worker_run(session->dump ? session->dump->stream : nullptr, session->port, command,
                                         &session->options, &acknowledged, image_index.get());
    g_free(command);
    // Put in place (and synced) before anything is made from it.
    if (session->dump) {
        session->reason = capture_dump_finish(session->dump, session->reason, acknowledged, &session->kept);
        session->dump = nullptr;
    }
    if (session->kept > 0 && session->tap_path)
        write_tap_image(session, image_index.get());
}

void capture_session_clear(capture_session *session)
{
    g_clear_error(&session->tap_error);
}
