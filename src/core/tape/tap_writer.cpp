#include "tape/tap_writer.h"

#include "tape/dmp.h"
#include "tape/tap_index_file.h"

#include "sampling_options.h"
#include "tape/tape_time.h"

#include <memory>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <glib/gstdio.h>

namespace {

const unsigned char version_full_waves = 1;
const unsigned char version_half_waves = 2;
const guint64 longest_short_entry = 255;
const guint64 longest_long_entry = 0xFFFFFF; // cycles in a 24-bit count

// Room for the longest entry must stay free in the buffer.
const unsigned flush_level = TAP_WRITER_BUFFER_SIZE - tap_long_entry_size;
const guint64 longest_length_field = G_MAXUINT32;

void set_write_error(GError **error, int error_number)
{
    g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(error_number), g_strerror(error_number));
}

// Writes all of count bytes, retrying short writes and interruptions.
int write_fully(int fd, const unsigned char *bytes, size_t count)
{
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        bytes += written;
        count -= (size_t)written;
    }
    return 1;
}

void flush(tap_writer *writer)
{
    if (writer->error_number == 0 && !write_fully(writer->fd, writer->buffer, writer->fill))
        writer->error_number = errno;
    writer->fill = 0;
}

}  // namespace

tap_format tap_format_for(const sampling_option_values *options)
{
    const unsigned char machine = static_cast<unsigned char>(sampling_machine_number(options->machine_type));
    const unsigned char video = options->video_standard == VIDEO_STANDARD_NTSC ? VIDEO_STANDARD_NTSC : VIDEO_STANDARD_PAL;
    // Each sample is a half wave when both edges were active.
    return tap_format{machine == MACHINE_NUMBER_C16 ? "C16-TAPE-RAW" : "C64-TAPE-RAW",
                      sampling_half_waves(options) ? version_half_waves : version_full_waves, machine, video,
                      machine_clock_hz(machine, video)};
}

void tap_writer_start(tap_writer *writer, int fd, const sampling_option_values *options)
{
    tap_format format = tap_format_for(options);
    writer->fd = fd;
    writer->clock_hz = format.clock_hz;
    writer->data_length = 0;
    writer->samples = 0;
    writer->error_number = 0;
    memset(writer->buffer, 0, TAP_HEADER_SIZE);
    memcpy(writer->buffer, format.signature, TAP_SIGNATURE_LENGTH);
    writer->buffer[TAP_VERSION_OFFSET] = format.version;
    writer->buffer[TAP_MACHINE_OFFSET] = format.machine;
    writer->buffer[TAP_VIDEO_OFFSET] = format.video;
    writer->fill = TAP_HEADER_SIZE;
}

// One entry of cycles machine cycles (under 2^24).
static void add_entry(tap_writer *writer, guint64 cycles)
{
    guint64 units = (cycles + tap_cycles_per_unit / 2) / tap_cycles_per_unit;
    unsigned char *at = writer->buffer + writer->fill;
    if (units >= 1 && units <= longest_short_entry) {
        at[0] = (unsigned char)units;
        writer->fill += 1;
        writer->data_length += 1;
    } else {
        at[0] = tap_long_entry_mark;
        at[1] = (unsigned char)cycles;
        at[2] = (unsigned char)(cycles >> 8);
        at[3] = (unsigned char)(cycles >> 16);
        writer->fill += tap_long_entry_size;
        writer->data_length += tap_long_entry_size;
    }
    writer->samples++;
    // Checked as the image grows: an input too long for the length field
    // ends the writing at once instead of filling the disk first.
    if (writer->data_length > longest_length_field && writer->error_number == 0)
        writer->error_number = EFBIG;
    if (writer->fill >= flush_level)
        flush(writer);
}

static guint64 cycles_of(const tap_writer *writer, guint64 ticks)
{
    return (ticks * writer->clock_hz + tape_ticks_per_second / 2) / tape_ticks_per_second;
}

void tap_writer_add_sample(tap_writer *writer, unsigned short sample)
{
    add_entry(writer, cycles_of(writer, sample));
}

void tap_writer_add_pause(tap_writer *writer, guint64 ticks)
{
    guint64 cycles = cycles_of(writer, ticks);
    for (; cycles > longest_long_entry; cycles -= longest_long_entry)
        add_entry(writer, longest_long_entry);
    add_entry(writer, cycles);
}

int tap_writer_finish(tap_writer *writer)
{
    flush(writer);
    if (writer->error_number != 0)
        return 0;
    guint32 length = (guint32)writer->data_length;
    unsigned char field[4] = {(unsigned char)length, (unsigned char)(length >> 8), (unsigned char)(length >> 16),
                              (unsigned char)(length >> 24)};
    if (pwrite(writer->fd, field, sizeof field, TAP_LENGTH_OFFSET) != (ssize_t)sizeof field) {
        writer->error_number = errno ? errno : EIO;
        return 0;
    }
    return 1;
}

tap_file *tap_file_create(const char *tap_path, int replace, const sampling_option_values *options,
                          GError **error)
{
    staged_file *staged = replace ? staged_file_create(tap_path, error) : staged_file_create_new(tap_path, error);
    if (!staged)
        return nullptr;
    tap_file *file = g_new(tap_file, 1);
    file->staged = staged;
    file->replace = replace;
    tap_writer_start(&file->writer, staged->fd, options);
    return file;
}

void tap_file_discard(tap_file *file)
{
    staged_file_discard(file->staged);
    g_free(file);
}

int tap_file_commit(tap_file *file, GError **error)
{
    if (!tap_writer_finish(&file->writer)) {
        set_write_error(error, file->writer.error_number);
        tap_file_discard(file);
        return 0;
    }
    const int committed = staged_file_commit(file->staged, error);
    g_free(file);
    return committed;
}

G_DEFINE_QUARK(tap-index-error-quark, tap_index_error)

int tap_file_commit_with_index(tap_file *file, tap_index_builder *index, const char *tap_path, GError **error)
{
    const int replace = file->replace;
    if (!tap_file_commit(file, error))
        return 0;
    GError *index_error = nullptr;
    if (!tap_index_write(tap_path, index->entries, replace, &index_error)) {
        g_set_error_literal(error, TAP_INDEX_ERROR, index_error->code, index_error->message);
        g_error_free(index_error);
        return 0;
    }
    return 1;
}

gchar *tap_path_beside_dump(const char *dmp_path)
{
    return dmp_path_beside(dmp_path, ".tap");
}

int tap_write_file_from_dmp(const char *dmp_path, const char *tap_path, int replace,
                            const sampling_option_values *options, tap_conversion_result *result, GError **error,
                            tap_index_builder *index)
{
    int dmp = g_open(dmp_path, O_RDONLY | O_CLOEXEC, 0);
    if (dmp < 0) {
        set_write_error(error, errno);
        return 0;
    }
    // Without a reading that listed the dump's files, the conversion lists
    // them itself.
    std::unique_ptr<tap_index_builder> own_index;
    std::unique_ptr<tape_index> files;
    if (!index) {
        own_index = std::make_unique<tap_index_builder>();
        index = own_index.get();
        tap_index_builder_init(index);
        files = std::make_unique<tape_index>();
        tape_index_init(files.get(), tap_index_builder_take_record, index);
    }
    tap_file *file = tap_file_create(tap_path, replace, options, error);
    if (!file) {
        close(dmp);
        return 0;
    }

    // One byte more than a block, so that a sample split between two reads
    // is put together in place.
    static const size_t block_size = 65536;
    unsigned char *block = static_cast<unsigned char *>(g_malloc(block_size + 1));
    size_t held = 0;  // 0 or 1: a low byte waiting for its high byte
    int read_error = 0;
    for (;;) {
        ssize_t got = read(dmp, block + held, block_size);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            read_error = errno;
            break;
        }
        // The first failure to write ends the conversion: reading on would
        // only take time (and from an endless input, for ever).
        if (got == 0 || file->writer.error_number != 0)
            break;
        size_t available = held + (size_t)got;
        size_t whole = available - available % dmp_bytes_per_sample;
        for (size_t at = 0; at < whole; at += dmp_bytes_per_sample) {
            const unsigned short sample = dmp_sample_at(block + at);
            tap_index_builder_feed(index, sample, TAP_HEADER_SIZE + file->writer.data_length);
            if (files)
                tape_index_feed(files.get(), sample);
            tap_writer_add_sample(&file->writer, sample);
        }
        held = available - whole;
        if (held)
            block[0] = block[whole];
    }
    g_free(block);
    close(dmp);

    if (read_error != 0) {
        tap_file_discard(file);
        set_write_error(error, read_error);
        return 0;
    }
    if (files)
        tape_index_finish(files.get());
    guint64 samples = file->writer.samples;
    if (!tap_file_commit_with_index(file, index, tap_path, error))
        return 0;
    if (result) {
        result->samples = samples;
        result->odd_trailing_byte = held != 0;
    }
    return 1;
}
