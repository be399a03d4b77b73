#include "link/capture.h"

#include "tape/dmp.h"
#include "translate.h"

#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

const char capture_reason_communication_error[] = N_("Communication error");
const char capture_reason_dumping_error_whole[] = N_("Dumping error (#1)");
const char capture_reason_dumping_error_split[] = N_("Dumping error (#2)");
const char capture_reason_file_write_failed[] = N_("File write failed");
const char capture_reason_last_write_failed[] = N_("Last file write failed");
const char capture_reason_last_operation_failed[] = N_("Last file operation failed");

static const unsigned char acknowledgement[] = {'O', 'K', '\r', '\n'};
static const unsigned char success_marker[CAPTURE_MARKER_LENGTH] = {'O', 'K', '!', '\r', '\n', '>', ' '};
static const unsigned char failure_marker[CAPTURE_MARKER_LENGTH] = {'K', 'O', '!', '\r', '\n', '>', ' '};

// The light is off for four reads with data, then on for the next four.
static const guint32 led_period = 8;
static const guint32 led_on_phase = 4;

void capture_init(capture_state *state, FILE *file, const capture_outputs *outputs)
{
    memset(state, 0, sizeof *state);
    state->file = file;
    state->quiet_limit_ms = CAPTURE_QUIET_MS;
    if (outputs)
        state->outputs = *outputs;
}

static void end_capture(capture_state *state, const char *reason)
{
    state->ended = 1;
    state->reason = reason;
}

void capture_before_read(capture_state *state)
{
    if (state->ended)
        return;
    if (state->read_counter % led_period == 0 && state->outputs.led)
        state->outputs.led(state->outputs.context, 0);
}

// Writes count bytes to the dump file; returns 1 when all were accepted.
static int write_stream(capture_state *state, const unsigned char *bytes, unsigned count)
{
    if (!state->file || count == 0)
        return 1;
    size_t written = fwrite(bytes, 1, count, state->file);
    state->bytes_written += written;
    return written == count;
}

// Drops the last count bytes that went into the file: flush, then shorten.
static int cut_file(FILE *file, unsigned count)
{
    struct stat status;
    if (fflush(file) != 0 || fstat(fileno(file), &status) != 0)
        return 0;
    off_t length = status.st_size;
    if (length < (off_t)count)
        return 0;
    if (ftruncate(fileno(file), length - count) != 0)
        return 0;
    return fseeko(file, length - count, SEEK_SET) == 0;
}

// Remembers the last stream bytes, so that a marker whose head arrived with
// an earlier read is still recognised.
static void remember_tail(capture_state *state, const unsigned char *bytes, unsigned count)
{
    if (count >= CAPTURE_TAIL_LENGTH) {
        memcpy(state->tail, bytes + count - CAPTURE_TAIL_LENGTH, CAPTURE_TAIL_LENGTH);
        state->tail_length = CAPTURE_TAIL_LENGTH;
        return;
    }
    unsigned keep = state->tail_length + count > CAPTURE_TAIL_LENGTH ? CAPTURE_TAIL_LENGTH - count : state->tail_length;
    memmove(state->tail, state->tail + state->tail_length - keep, keep);
    memcpy(state->tail + keep, bytes, count);
    state->tail_length = keep + count;
}

// Returns the marker whose last byte is bytes[end], or nullptr. The last
// min(end + 1, 7) marker bytes are in the chunk, the rest in the tail.
static const unsigned char *marker_ending_at(const capture_state *state, const unsigned char *bytes, unsigned end)
{
    if (state->tail_length + end + 1 < CAPTURE_MARKER_LENGTH)
        return nullptr;
    unsigned char window[CAPTURE_MARKER_LENGTH];
    unsigned in_chunk = end + 1 < CAPTURE_MARKER_LENGTH ? end + 1 : CAPTURE_MARKER_LENGTH;
    unsigned from_tail = CAPTURE_MARKER_LENGTH - in_chunk;
    memcpy(window, state->tail + state->tail_length - from_tail, from_tail);
    memcpy(window + from_tail, bytes + end + 1 - in_chunk, in_chunk);
    if (memcmp(window, success_marker, CAPTURE_MARKER_LENGTH) == 0)
        return success_marker;
    if (memcmp(window, failure_marker, CAPTURE_MARKER_LENGTH) == 0)
        return failure_marker;
    return nullptr;
}

// Returns the marker that the stream ends with after these bytes, or nullptr.
static const unsigned char *marker_at_end(const capture_state *state, const unsigned char *bytes, unsigned count)
{
    return count ? marker_ending_at(state, bytes, count - 1) : nullptr;
}

// Passes the chunk's samples on, least significant byte first, pairing a byte
// left over from the previous chunk with this chunk's first byte.
static void decode(capture_state *state, const unsigned char *bytes, unsigned count)
{
    void (*take)(void *, const unsigned short *, unsigned) = state->outputs.samples;
    unsigned short samples[CAPTURE_SAMPLES_AT_ONCE];
    unsigned pending = 0;
    unsigned i = 0;
    if (state->carry_valid && count > 0) {
        const unsigned char pair[dmp_bytes_per_sample] = {state->carry, bytes[0]};
        samples[pending++] = dmp_sample_at(pair);
        state->carry_valid = 0;
        i = 1;
    }
    while (i + 1 < count) {
        if (pending == CAPTURE_SAMPLES_AT_ONCE) {
            if (take)
                take(state->outputs.context, samples, pending);
            pending = 0;
        }
        unsigned n = MIN((count - i) / 2, CAPTURE_SAMPLES_AT_ONCE - pending);
        dmp_decode(bytes + i, n * dmp_bytes_per_sample, samples + pending);
        pending += n;
        i += n * dmp_bytes_per_sample;
    }
    if (pending && take)
        take(state->outputs.context, samples, pending);
    if (i < count) {
        state->carry = bytes[i];
        state->carry_valid = 1;
    }
}

// Cuts the count bytes of the file written last (marker bytes) off again;
// returns 1 when the file ends before them (or there is none).
static int cut_written(capture_state *state, unsigned count)
{
    if (!state->file || count == 0)
        return 1;
    if (!cut_file(state->file, count))
        return 0;
    state->bytes_written -= count;
    return 1;
}

// Ends on a marker after the data before it went into the file (wrote: all
// of it did) and the cut of the marker's written bytes (cut: it worked).
static void end_after_marker(capture_state *state, const unsigned char *marker, int split, int wrote, int cut)
{
    if (marker == failure_marker) {
        // The device's own failure is the news; a file problem on top of it
        // does not change what the user has to know.
        end_capture(state, split ? capture_reason_dumping_error_split : capture_reason_dumping_error_whole);
        return;
    }
    if (!wrote)
        end_capture(state, capture_reason_last_write_failed);
    else if (!cut)
        end_capture(state, capture_reason_last_operation_failed);
    else
        end_capture(state, nullptr);
}

// The stream ends with a marker: the bytes before it go into the file and
// to the samples like every other read's (the last file of a tape often ends
// in this read), marker bytes written with earlier reads are cut off again.
static void end_on_marker(capture_state *state, const unsigned char *marker, const unsigned char *bytes, unsigned count)
{
    unsigned in_chunk = count < CAPTURE_MARKER_LENGTH ? count : CAPTURE_MARKER_LENGTH;
    unsigned before = count - in_chunk;
    unsigned already_written = CAPTURE_MARKER_LENGTH - in_chunk;
    int wrote = write_stream(state, bytes, before);
    decode(state, bytes, before);
    int cut = cut_written(state, already_written);
    end_after_marker(state, marker, already_written != 0, wrote, cut);
}

// Returns the last marker that ends inside these bytes with at most
// CAPTURE_STRAY_LIMIT of them behind it, or nullptr; *end is the index of its
// last byte. Its head may lie in the tail of earlier reads.
static const unsigned char *marker_inside(const capture_state *state, const unsigned char *bytes, unsigned count,
                                          unsigned *end)
{
    if (count < 2)
        return nullptr;
    unsigned lowest = count - 1 > CAPTURE_STRAY_LIMIT ? count - 1 - CAPTURE_STRAY_LIMIT : 0;
    // Both markers end with the prompt's space: look at the spaces only,
    // from the last one before the read's last byte backwards.
    for (unsigned limit = count - 1; limit > lowest;) {
        const void *space = memrchr(bytes + lowest, ' ', limit - lowest);
        if (!space)
            return nullptr;
        unsigned e = unsigned(static_cast<const unsigned char *>(space) - bytes);
        limit = e;
        const unsigned char *marker = marker_ending_at(state, bytes, e);
        if (marker) {
            *end = e;
            return marker;
        }
    }
    return nullptr;
}

// The held bytes were samples after all: they go to the consumer.
static void release_held(capture_state *state)
{
    if (!state->pending_marker)
        return;
    decode(state, state->held, state->held_length);
    state->pending_marker = nullptr;
    state->held_length = 0;
}

// Decodes a read that went into the file, holding back the bytes from a
// marker with stray bytes behind it on, until the device's silence or more
// data tells what they were.
static void decode_or_hold(capture_state *state, const unsigned char *bytes, unsigned count)
{
    unsigned end = 0;
    const unsigned char *marker = marker_inside(state, bytes, count, &end);
    if (!marker) {
        if (state->pending_marker && state->pending_length + count <= CAPTURE_HELD_LENGTH) {
            memcpy(state->held + state->held_length, bytes, count);
            state->held_length += count;
            state->pending_length += count;
            return;
        }
        release_held(state);
        decode(state, bytes, count);
        return;
    }
    // A later marker: anything held before it was data.
    release_held(state);
    unsigned start = end + 1 >= CAPTURE_MARKER_LENGTH ? end + 1 - CAPTURE_MARKER_LENGTH : 0;
    decode(state, bytes, start);
    state->pending_marker = marker;
    state->pending_split = end + 1 < CAPTURE_MARKER_LENGTH;
    state->pending_length = CAPTURE_MARKER_LENGTH + (count - 1 - end);
    state->held_length = count - start;
    memcpy(state->held, bytes + start, state->held_length);
}

static void take_stream(capture_state *state, const unsigned char *bytes, unsigned count)
{
    if (count == 0)
        return;
    const unsigned char *marker = marker_at_end(state, bytes, count);
    if (marker) {
        release_held(state);
        end_on_marker(state, marker, bytes, count);
        return;
    }
    if (!write_stream(state, bytes, count)) {
        end_capture(state, capture_reason_file_write_failed);
        return;
    }
    decode_or_hold(state, bytes, count);
    remember_tail(state, bytes, count);
}

// Looks for "OK\r\n" in bytes that may continue a partial match of the
// previous read. Returns the number of bytes up to and including the
// acknowledgement, or 0 when it is not complete yet.
static unsigned find_acknowledgement(capture_state *state, const unsigned char *bytes, unsigned count)
{
    unsigned matched = state->ack_matched;
    for (unsigned i = 0; i < count; i++) {
        if (bytes[i] == acknowledgement[matched])
            matched++;
        else
            matched = bytes[i] == acknowledgement[0] ? 1 : 0;
        if (matched == sizeof acknowledgement) {
            state->ack_matched = 0;
            return i + 1;
        }
    }
    state->ack_matched = matched;
    return 0;
}

int capture_take_read(capture_state *state, const unsigned char *bytes, unsigned count)
{
    if (state->ended)
        return 1;
    if (count == 0)
        return 0;
    guint32 k = state->read_counter++;
    if (k % led_period == led_on_phase && state->outputs.led)
        state->outputs.led(state->outputs.context, 1);

    if (!state->streaming) {
        unsigned used = find_acknowledgement(state, bytes, count);
        if (used == 0)
            return 0;
        state->streaming = 1;
        if (state->outputs.acknowledged)
            state->outputs.acknowledged(state->outputs.context, state->file ? N_("Dumping...") : N_("Monitoring..."));
        bytes += used;
        count -= used;
    }
    take_stream(state, bytes, count);
    return state->ended;
}

int capture_take_quiet(capture_state *state, guint64 quiet_ms)
{
    if (state->ended)
        return 1;
    if (!state->pending_marker || quiet_ms < state->quiet_limit_ms)
        return 0;
    // The held bytes are the marker and what the device sent after it: none
    // of them is a sample.
    int cut = cut_written(state, state->pending_length);
    end_after_marker(state, state->pending_marker, state->pending_split, 1, cut);
    return 1;
}

void capture_read_failed(capture_state *state)
{
    if (state->ended)
        return;
    // Whether a marker held back was the end is never known now: like the
    // file, the samples keep everything that came.
    release_held(state);
    end_capture(state, capture_reason_communication_error);
}

const char *capture_end_reason(const capture_state *state)
{
    return state->ended ? state->reason : nullptr;
}

guint64 capture_bytes_written(const capture_state *state)
{
    return state->bytes_written;
}

const char *capture_finish_file(FILE *file, const char *reason)
{
    if (!file)
        return reason;
    int closed = fclose(file) == 0;
    if (!closed && reason == nullptr)
        return capture_reason_last_write_failed;
    return reason;
}
