// TAP images: a tape as emulators keep it, made from the device's samples.
//
// An image is a 20-byte header and one entry per sample:
//
//   offset  size  content
//        0    12  "C64-TAPE-RAW" ("C16-TAPE-RAW" for the C16/+4)
//       12     1  version: 1 one entry per full wave, 2 one entry per half wave
//       13     1  machine: 0 C64, 1 VIC-20, 2 C16/+4
//       14     1  video: 0 PAL, 1 NTSC
//       15     1  0
//       16     4  number of entry bytes that follow, little-endian
//
// A sample of s ticks lasts c = (s x clock + 1000000) / 2000000 machine cycles
// (rounded half up), clock being the machine's cycles per second. Its entry is
// the byte (c + 4) / 8 when that is 1 to 255 (4 to 2043 cycles), else the byte
// 0 followed by c in 24 bits, least significant byte first.
//
// The sampling options of the capture choose the header: machine type and
// video standard give machine, video and clock ("GENERIC" counts as a C64,
// which is what the device is told for it), and version 2 is used exactly when
// both edges were active, so that each sample is a half wave.
//
// The writer streams through a fixed buffer: its memory is the same for a
// minute of tape as for ninety. Files are written under a temporary name in
// the destination's folder and renamed into place once complete, so a failure
// never leaves half an image and never replaces a good one.
//
// Any thread; a writer belongs to one thread at a time. Calls block only on
// the disk.
#pragma once

#include "sampling_options.h"
#include "staged_file.h"

#include <glib.h>

// Where the header's fields stand (the table above), for readers too.
enum {
    TAP_SIGNATURE_LENGTH = 12,
    TAP_VERSION_OFFSET = 12,
    TAP_MACHINE_OFFSET = 13,
    TAP_VIDEO_OFFSET = 14,
    TAP_LENGTH_OFFSET = 16,
    TAP_HEADER_SIZE = 20,
};

// An entry byte counts 8 cycles; the byte 0 announces a long entry of 4
// bytes, a 24-bit cycle count behind it (in version 0, a pause of unknown length).
inline constexpr unsigned tap_cycles_per_unit = 8;
inline constexpr unsigned char tap_long_entry_mark = 0;
inline constexpr unsigned tap_long_entry_size = 4;

#define TAP_WRITER_BUFFER_SIZE 65536

// What the header says and which clock turns ticks into cycles.
struct tap_format {
    const char *signature;  // 12 characters, no terminator in the file
    unsigned char version;
    unsigned char machine;
    unsigned char video;
    guint32 clock_hz;       // machine cycles per second
};

// The format of an image made from a capture with these sampling options.
tap_format tap_format_for(const sampling_option_values *options);

// Streaming writer on an open, empty, writable file descriptor (which it
// neither closes nor syncs).
struct tap_writer {
    int fd;
    guint64 clock_hz;
    guint64 data_length;    // entry bytes taken so far
    guint64 samples;        // samples taken so far
    unsigned fill;          // bytes waiting in buffer
    int error_number;       // errno of the first failure; 0 while all is well
    unsigned char buffer[TAP_WRITER_BUFFER_SIZE];
};

// Starts an image: the header, with the length to be filled in at the end.
void tap_writer_start(tap_writer *writer, int fd, const sampling_option_values *options);

// Adds one sample. After a failure, samples are counted but not written;
// entries outgrowing the 32-bit length field are a failure (EFBIG) as soon
// as they do.
void tap_writer_add_sample(tap_writer *writer, unsigned short sample);

// Adds a pause of any length as one entry (several when it is longer than
// an entry's 24-bit cycle count can say), counted as one sample each.
void tap_writer_add_pause(tap_writer *writer, guint64 ticks);

// Writes what is buffered and the header's length field. Returns 1 on
// success, 0 after any failure (writer->error_number tells why; EFBIG when
// the entries outgrow the 32-bit length field).
int tap_writer_finish(tap_writer *writer);

// An image being written to its own file (staged_file.h: under a hidden
// temporary name beside its path until the commit).
struct tap_file {
    tap_writer writer;      // add samples with tap_writer_add_sample(&file->writer, ...)
    staged_file *staged;
    int replace;            // the image and its index may replace files there
};

// Creates the temporary file beside tap_path and starts the image. replace:
// non-zero when a file under tap_path (and later its index's) may be
// replaced; zero when any is refused with G_FILE_ERROR_EXIST, now or at the
// commit (one that appeared meanwhile). Returns null with *error set
// (message: the reason) when no file can be made there or tap_path names
// something other than a regular file. Nothing exists under tap_path's own
// name until the commit.
tap_file *tap_file_create(const char *tap_path, int replace, const sampling_option_values *options,
                          GError **error);

// Finishes the image, syncs it to the disk and renames it to its path,
// replacing any file (or symbolic link) there. Returns 1 on success; 0 with
// *error set (message: the system's reason, e.g. "No space left on device")
// after any failure, and then the temporary file is removed and a file
// already under the path stays as it was. Frees file in both cases.
int tap_file_commit(tap_file *file, GError **error);

// Abandons the image: removes the temporary file and frees file.
void tap_file_discard(tap_file *file);

struct tap_index_builder;

// The domain of an error that says the image was written and only its index
// was not: the code is the GFileError of the reason, the message the reason.
#define TAP_INDEX_ERROR (tap_index_error_quark())
GQuark tap_index_error_quark(void);

// tap_file_commit, then the index the builder (fed every entry of the image)
// found, written beside tap_path (tap_index_file.h). Returns 1; or 0 with
// *error set: the image is then not there, or, when only its index failed
// (TAP_INDEX_ERROR), there without an index.
int tap_file_commit_with_index(tap_file *file, tap_index_builder *index, const char *tap_path, GError **error);

// The TAP image's path beside a dump: its ".DMP" ending (any case, dmp.h)
// replaced by ".tap" (".tap" added to any other name). The caller frees it with g_free.
gchar *tap_path_beside_dump(const char *dmp_path);

struct tap_conversion_result {
    guint64 samples;        // samples written
    int odd_trailing_byte;  // the dump ended with half a sample (ignored)
};

// Converts the DMP file at dmp_path (the device's samples, 16 bits each, low
// byte first) into a TAP image at tap_path for a capture with these sampling
// options, through a temporary file as above, and writes its index beside it
// (tap_index_file.h; a failure there is a TAP_INDEX_ERROR, the image is
// kept). replace as for tap_file_create. index: a builder that took the
// dump's files from the reading that listed them (a capture's sample pass);
// nullptr: the conversion lists them with a tape index of its own. Returns 1
// on success and fills *result (may be null); returns 0 with *error set
// (message: the system's reason), leaving no file behind and any earlier
// file under tap_path as it was. Reads and writes in fixed-size blocks:
// constant memory but for the index's files.
int tap_write_file_from_dmp(const char *dmp_path, const char *tap_path, int replace,
                            const sampling_option_values *options, tap_conversion_result *result, GError **error,
                            tap_index_builder *index = nullptr);
