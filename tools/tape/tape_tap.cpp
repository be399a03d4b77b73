#include "tape_tap.h"

#include "tape/tap_writer.h"
#include "tape/tape_input.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

int reject(std::string *error, const char *reason)
{
    if (error)
        *error = reason;
    return 0;
}

int reject(std::string *error, const char *what, const char *path, GError *failure)
{
    if (error)
        *error = std::string(what) + " " + path + ": " + failure->message;
    g_error_free(failure);
    return 0;
}

}  // namespace

int tape_tap_to_samples(const unsigned char *data, size_t size, unsigned clock_hz,
                        std::vector<unsigned short> *samples, tape_tap_info *info, std::string *error)
{
    tape_tap_info header{};
    guint32 declared = 0;
    const char *reason = nullptr;
    if (size < TAP_HEADER_SIZE || !tap_reader_header(data, size, clock_hz, &header, &declared, &reason))
        return reject(error, reason ? reason : "not a TAP image (no C64-TAPE-RAW signature)");
    if (info)
        *info = header;

    tap_entry_decoder decoder;
    tap_entry_decoder_init(&decoder, &header);
    const size_t end = TAP_HEADER_SIZE + std::min<size_t>(declared, size - TAP_HEADER_SIZE);
    samples->clear();
    unsigned short block[4096];
    for (size_t at = TAP_HEADER_SIZE, produced = 1; at < end || produced > 0;) {
        at += tap_entry_decoder_run(&decoder, data + at, end - at, 1, block, sizeof block / sizeof block[0],
                                    &produced);
        samples->insert(samples->end(), block, block + produced);
    }
    return 1;
}

int tape_tap_file_to_samples(const char *path, unsigned clock_hz, std::vector<unsigned short> *samples,
                             tape_tap_info *info, std::string *error)
{
    GError *failure = nullptr;
    tape_input *input = tape_input_open(path, clock_hz, &failure);
    if (!input)
        return reject(error, "cannot open", path, failure);
    if (tape_input_get_kind(input) != tape_input_tap) {
        tape_input_close(input);
        return reject(error, "not a TAP image (no C64-TAPE-RAW signature)");
    }
    if (info)
        *info = *tape_input_tap_header(input);
    samples->clear();
    unsigned short block[4096];
    long got;
    while ((got = tape_input_read(input, block, sizeof block / sizeof block[0], &failure)) > 0)
        samples->insert(samples->end(), block, block + got);
    tape_input_close(input);
    return got < 0 ? reject(error, "cannot read", path, failure) : 1;
}
