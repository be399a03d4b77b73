#include "tape/tape_input.h"

#include "tape/dmp.h"
#include "tape/tap_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include <glib/gstdio.h>

struct tape_input {
    int fd;
    tape_input_kind kind;
    tape_tap_info tap;
    tap_entry_decoder decoder;
    guint64 entry_bytes_left;  // TAP: entry bytes the length field still counts
    guint64 entry_bytes;       // TAP: the header's length field
    gint64 file_entry_bytes;   // TAP in a regular file: the bytes after its header; else -1
    int end_of_file;
    guint64 bytes_read;        // from the file so far
    guint64 file_size;         // of a regular file; 0 for a stream
    std::size_t at, fill;      // bytes read and not yet taken: buffer[at..fill)
    unsigned char buffer[TAPE_INPUT_BUFFER_SIZE];
};

namespace {

// A long TAP entry is 4 bytes: with fewer left the decoder may need more.
constexpr std::size_t longest_entry = 4;

void set_read_error(GError **error, int error_number)
{
    g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(error_number), g_strerror(error_number));
}

// Moves what is left to the front and reads more behind it. Returns 1, also
// at the end of the file (end_of_file set); 0 with errno on a read error.
int refill(tape_input *input)
{
    std::copy(input->buffer + input->at, input->buffer + input->fill, input->buffer);
    input->fill -= input->at;
    input->at = 0;
    for (;;) {
        const ssize_t got = read(input->fd, input->buffer + input->fill, sizeof input->buffer - input->fill);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return 0;
        if (got == 0)
            input->end_of_file = 1;
        input->fill += std::size_t(got);
        input->bytes_read += guint64(got);
        return 1;
    }
}

// Reads until the buffer holds `wanted` bytes or the file ends.
int refill_to(tape_input *input, std::size_t wanted)
{
    while (input->fill - input->at < wanted && !input->end_of_file) {
        if (!refill(input))
            return 0;
    }
    return 1;
}

// Judges a TAP image's header, already in the buffer.
int open_tap(tape_input *input, unsigned clock_hz, GError **error)
{
    const char *reason = nullptr;
    guint32 entry_bytes = 0;
    if (!tap_reader_header(input->buffer, input->fill, clock_hz, &input->tap, &entry_bytes, &reason)) {
        g_set_error_literal(error, G_FILE_ERROR, G_FILE_ERROR_INVAL, reason);
        return 0;
    }
    input->file_entry_bytes = input->file_size != 0 ? gint64(input->file_size) - TAP_HEADER_SIZE : -1;
    input->entry_bytes = entry_bytes;
    input->kind = tape_input_tap;
    input->entry_bytes_left = entry_bytes;
    input->at = TAP_HEADER_SIZE;
    tap_entry_decoder_init(&input->decoder, &input->tap);
    return 1;
}

long read_dmp(tape_input *input, unsigned short *samples, std::size_t max, GError **error)
{
    if (!refill_to(input, dmp_bytes_per_sample)) {
        set_read_error(error, errno);
        return -1;
    }
    const std::size_t count = std::min((input->fill - input->at) / dmp_bytes_per_sample, max);
    dmp_decode(input->buffer + input->at, count * dmp_bytes_per_sample, samples);
    input->at += dmp_bytes_per_sample * count;
    return long(count);
}

long read_tap(tape_input *input, unsigned short *samples, std::size_t max, GError **error)
{
    for (;;) {
        const std::size_t held = input->fill - input->at;
        const std::size_t available = std::size_t(std::min<guint64>(held, input->entry_bytes_left));
        const int at_end = input->end_of_file || available == input->entry_bytes_left;
        if (available < longest_entry && !at_end) {
            if (!refill(input)) {
                set_read_error(error, errno);
                return -1;
            }
            continue;
        }
        std::size_t produced = 0;
        const std::size_t taken = tap_entry_decoder_run(&input->decoder, input->buffer + input->at, available,
                                                        at_end, samples, max, &produced);
        input->at += taken;
        input->entry_bytes_left -= taken;
        if (produced > 0)
            return long(produced);
        if (at_end && taken == available) {
            input->entry_bytes_left = 0;  // whatever follows the entries is not the tape
            return 0;
        }
        if (!refill(input)) {
            set_read_error(error, errno);
            return -1;
        }
    }
}

}  // namespace

tape_input *tape_input_open(const char *path, unsigned clock_hz, GError **error)
{
    const int fd = g_open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) {
        set_read_error(error, errno);
        return nullptr;
    }
    auto *input = g_new0(tape_input, 1);
    input->fd = fd;
    input->kind = tape_input_dmp;
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        input->file_size = guint64(status.st_size);
    if (!refill_to(input, TAP_HEADER_SIZE)) {
        set_read_error(error, errno);
        tape_input_close(input);
        return nullptr;
    }
    if (tap_reader_has_signature(input->buffer, input->fill) && !open_tap(input, clock_hz, error)) {
        tape_input_close(input);
        return nullptr;
    }
    return input;
}

tape_input_kind tape_input_get_kind(const tape_input *input)
{
    return input->kind;
}

const tape_tap_info *tape_input_tap_header(const tape_input *input)
{
    return input->kind == tape_input_tap ? &input->tap : nullptr;
}

long tape_input_read(tape_input *input, unsigned short *samples, std::size_t max, GError **error)
{
    return input->kind == tape_input_tap ? read_tap(input, samples, max, error)
                                         : read_dmp(input, samples, max, error);
}

int tape_input_tap_sizes(const tape_input *input, guint64 *counted, guint64 *held)
{
    if (input->kind != tape_input_tap || input->file_entry_bytes < 0)
        return 0;
    *counted = input->entry_bytes;
    *held = guint64(input->file_entry_bytes);
    return 1;
}

void tape_input_progress(const tape_input *input, guint64 *done, guint64 *total)
{
    *done = input->bytes_read;
    *total = input->file_size;
}

int tape_input_odd_trailing_byte(const tape_input *input)
{
    return input->kind == tape_input_dmp && input->end_of_file && input->fill - input->at == 1;
}

void tape_input_close(tape_input *input)
{
    if (!input)
        return;
    close(input->fd);
    g_free(input);
}

int tape_input_check(const char *path, std::string *error, std::string *warning)
{
    if (warning)
        warning->clear();
    // A stream cannot be looked at without taking its first bytes away from
    // the reading that follows.
    struct stat status {};
    if (stat(path, &status) == 0 && !S_ISREG(status.st_mode))
        {
        if (error)
            *error = S_ISDIR(status.st_mode) ? g_strerror(EISDIR) : "not a regular file";
        return 0;
    }
    GError *failure = nullptr;
    tape_input *input = tape_input_open(path, 0, &failure);
    if (!input) {
        if (error)
            *error = failure->message;
        g_error_free(failure);
        return 0;
    }
    const int is_tap = tape_input_get_kind(input) == tape_input_tap;
    guint64 counted = 0, held = 0;
    const int sized = tape_input_tap_sizes(input, &counted, &held);
    tape_input_close(input);
    if (warning && sized && counted > held) {
        *warning = "TAP image cut short: its header counts " + std::to_string(counted) + " bytes of pulses, " +
                   std::to_string(held) + " are there; reading those";
    } else if (warning && sized && counted < held) {
        *warning = "TAP image longer than its header says: " + std::to_string(held - counted) +
                   " bytes after the " + std::to_string(counted) + " it counts are left out";
    }
    return is_tap ? 1 : -1;
}
