// The capture engine: what a Preview or a Dump does with the bytes that the
// device sends after the sampling command's echo.
//
// The engine knows nothing of ports or windows. The read loop hands it every
// read that brought data, in any chunking; the engine finds the acknowledgement
// "OK\r\n", writes the sample stream to the dump file (if any), passes every
// 16-bit sample to a sample consumer, drives the activity light's cadence, and
// ends on the success marker "OK!\r\n> " or the failure marker "KO!\r\n> " with
// one of the fixed reasons below (nullptr for success).
//
// Rules, whatever the chunking:
//  - The acknowledgement is found in any bytes that arrive before it, split
//    across reads or not; bytes after it in the same read are stream data.
//  - Every stream byte is written as soon as it arrives. The last six stream
//    bytes are remembered, so a marker split across any reads is found; marker
//    bytes that already went into the file are cut off again.
//  - Samples are taken two bytes at a time in stream order. An odd byte at the
//    end of a read waits for the next read's first byte. The stream bytes of
//    the read that brings the marker are taken too.
//  - A file always ends with the last stream byte before the marker, after a
//    failure marker as well as after the success marker.
//  - A marker followed by a few more bytes (at most CAPTURE_STRAY_LIMIT, in
//    the same read or the next ones) is not at the end of a read, so it cannot
//    end the capture at once: it may be sample data. The bytes from its first
//    one on are written but held back from the sample consumer. When the
//    device then stays quiet for CAPTURE_QUIET_MS (capture_take_quiet), it was
//    the device's end: the file is cut back to the byte before it and the
//    capture ends on it as on a marker at the end of a read. When more bytes
//    come, the held bytes were samples and go to the consumer in order.
//
// All functions run on the capture's worker thread (or any single thread that
// owns the state); none blocks except on the file writes.
#pragma once

#include <glib.h>
#include <stdio.h>

// Fixed English end reasons; the status bar shows them untranslated.
extern const char capture_reason_communication_error[];    // "Communication error"
extern const char capture_reason_dumping_error_whole[];    // "Dumping error (#1)"
extern const char capture_reason_dumping_error_split[];    // "Dumping error (#2)"
extern const char capture_reason_file_write_failed[];      // "File write failed"
extern const char capture_reason_last_write_failed[];      // "Last file write failed"
extern const char capture_reason_last_operation_failed[];  // "Last file operation failed"

// Where the engine's results go. Every member may be null.
struct capture_outputs {
    // The acknowledgement arrived; message is "Dumping..." with a file,
    // "Monitoring..." without (a string constant).
    void (*acknowledged)(void *context, const char *message);
    // The activity light: on (1) or off (0).
    void (*led)(void *context, int on);
    // The next samples of the stream, in stream order: at most
    // CAPTURE_SAMPLES_AT_ONCE at a time (a whole read in one call, so the
    // per-sample work runs in one loop).
    void (*samples)(void *context, const unsigned short *samples, unsigned count);
    void *context;
};

#define CAPTURE_SAMPLES_AT_ONCE 64
#define CAPTURE_MARKER_LENGTH 7
#define CAPTURE_TAIL_LENGTH (CAPTURE_MARKER_LENGTH - 1)
// Bytes after a marker that still let it end the capture: a read's worth.
#define CAPTURE_STRAY_LIMIT 64
#define CAPTURE_HELD_LENGTH (CAPTURE_MARKER_LENGTH + CAPTURE_STRAY_LIMIT)
// Silence after a marker with stray bytes behind it that ends the capture on
// it. A tape never pauses right behind a marker by chance, so this only has
// to be long enough for a device that sends its last bytes late.
#define CAPTURE_QUIET_MS 2000

// Per-capture state. Set up with capture_init; nothing survives a capture.
struct capture_state {
    FILE *file;                      // the dump file, or nullptr for a preview
    capture_outputs outputs;
    guint32 read_counter;            // reads that brought data
    int streaming;                   // the acknowledgement has been seen
    unsigned ack_matched;            // bytes of "OK\r\n" matched so far
    unsigned char tail[CAPTURE_TAIL_LENGTH];  // last stream bytes taken, oldest first
    unsigned tail_length;            // 0 to 6
    int carry_valid;                 // an odd byte waits for its partner
    unsigned char carry;
    int ended;
    const char *reason;              // end reason; nullptr = success
    guint64 bytes_written;           // stream bytes in the dump file
    // A marker with stray bytes behind it, waiting for the device's silence
    // (nullptr: none); the stream bytes from its first one on, all written;
    // whether its head came with an earlier read; the bytes from its first
    // one on that came with its last read and later, not yet decoded.
    const unsigned char *pending_marker;
    unsigned pending_length;
    int pending_split;
    unsigned char held[CAPTURE_HELD_LENGTH];
    unsigned held_length;
    guint64 quiet_limit_ms;          // the silence that ends it on such a marker: CAPTURE_QUIET_MS
};

// Sets up the state for one capture writing to file (nullptr: preview).
// The engine never closes the file; see capture_finish_file.
void capture_init(capture_state *state, FILE *file, const capture_outputs *outputs);

// Call before each read request that may bring data (not again after a read
// that timed out empty): switches the light off before every eighth read.
void capture_before_read(capture_state *state);

// Takes the bytes of one read (count 0 changes nothing). Returns 1 when the
// capture has ended (then capture_end_reason tells why), 0 to read on.
// Once ended, further bytes are ignored and 1 is returned.
int capture_take_read(capture_state *state, const unsigned char *bytes, unsigned count);

// The device has sent nothing for quiet_ms since the last read with data.
// Ends the capture on a marker that stray bytes followed, once quiet_ms
// reaches state->quiet_limit_ms (CAPTURE_QUIET_MS unless a test set less):
// the file is cut back to the byte before the marker ("Last file operation
// failed" if that fails, the dumping errors for the failure marker as they
// are for a marker at the end of a read).
// Returns 1 when the capture has ended, 0 to read on.
int capture_take_quiet(capture_state *state, guint64 quiet_ms);

// A read failed (port closed or device gone): ends with "Communication error"
// unless the capture had already ended. Bytes held back behind a marker go to
// the sample consumer then, as they went into the file.
void capture_read_failed(capture_state *state);

// Returns the end reason (a constant above), or nullptr for success or while
// the capture still runs.
const char *capture_end_reason(const capture_state *state);

// The stream bytes that the dump file holds so far (0 for a preview).
guint64 capture_bytes_written(const capture_state *state);

// Closes the dump file (nullptr: nothing) at the end of a capture and returns
// the capture's final reason: a successful capture whose last buffered bytes
// cannot be written while closing ends with "Last file write failed" instead
// of success. Other reasons are returned unchanged.
const char *capture_finish_file(FILE *file, const char *reason);
