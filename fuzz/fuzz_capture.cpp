// The capture engine fed arbitrary bytes in arbitrary chunkings.
//
// Checks, against a plain model of the stream: the engine never crashes; it
// ends at most once and then ignores what follows; the dump file holds exactly
// the stream bytes received after the acknowledgement, less a marker that ends
// a read; every sample it passes on is a pair of those bytes in stream order,
// up to the marker;
// the acknowledgement is announced once, with the right message. A silence
// after a read ends the capture only when it is long enough and the stream's
// last marker has 1 to CAPTURE_STRAY_LIMIT bytes behind it, always when that
// marker ended inside the last read; the file then ends before that marker.
//
// Input: the bytes that the device sends come from the front; the size of each
// read (0 to 80 bytes), whether the capture writes a file, and whether and
// how long the device is quiet after a read are taken from the back
// (FuzzedDataProvider's integers).
#include "link/capture.h"

#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

struct observed {
    int acknowledgements = 0;
    const char *message = nullptr;
    int light_on = 0;
    std::vector<unsigned short> samples;
};

void on_acknowledged(void *context, const char *message)
{
    auto *seen = static_cast<observed *>(context);
    seen->acknowledgements++;
    seen->message = message;
}

void on_led(void *context, int on)
{
    if (on)
        static_cast<observed *>(context)->light_on++;
}

void on_samples(void *context, const unsigned short *samples, unsigned count)
{
    auto &seen = static_cast<observed *>(context)->samples;
    seen.insert(seen.end(), samples, samples + count);
}

void check(bool holds, const char *what)
{
    fuzz_check(holds, "capture", what);
}

const std::string acknowledgement("OK\r\n");
const std::string success_marker("OK!\r\n> ");
const std::string failure_marker("KO!\r\n> ");

// Where the stream's last marker begins and which it is (npos: none).
size_t last_marker(const std::string &stream, const std::string **which)
{
    size_t at = std::string::npos;
    for (const std::string *marker : {&success_marker, &failure_marker}) {
        const size_t found = stream.rfind(*marker);
        if (found != std::string::npos && (at == std::string::npos || found > at)) {
            at = found;
            *which = marker;
        }
    }
    return at;
}

bool ends_with(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string file_contents(FILE *file)
{
    std::string bytes;
    fflush(file);
    rewind(file);
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, got);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool dump = input.ConsumeBool();

    FILE *file = nullptr;
    if (dump) {
        int fd = memfd_create("capture", MFD_CLOEXEC);
        check(fd >= 0, "memfd_create");
        file = fdopen(fd, "w+b");
        check(file != nullptr, "fdopen");
    }

    observed seen;
    capture_outputs outputs{on_acknowledged, on_led, on_samples, &seen};
    capture_state state;
    capture_init(&state, file, &outputs);

    // The model: everything received, where the stream starts, how it ends.
    std::string received;
    size_t stream_start = std::string::npos;
    std::string stream;              // bytes after the acknowledgement
    size_t stream_decoded = 0;
    bool model_ended = false;
    const char *model_reason = nullptr;
    std::string model_file;
    unsigned reads_with_data = 0;
    std::vector<size_t> read_starts;  // where each read's stream bytes begin in the stream

    while (input.remaining_bytes() > 0) {
        size_t want = input.ConsumeIntegralInRange<size_t>(0, 80);
        std::string chunk = input.ConsumeBytesAsString(want);
        if (!model_ended) {
            capture_before_read(&state);
            if (!chunk.empty())
                reads_with_data++;
        }
        int ended = capture_take_read(&state, reinterpret_cast<const unsigned char *>(chunk.data()),
                                      unsigned(chunk.size()));
        if (model_ended) {
            check(ended == 1, "an ended capture reports its end for every later read");
            continue;
        }
        received += chunk;
        if (stream_start == std::string::npos) {
            // Earlier reads held no acknowledgement: one can only end in this read.
            const size_t from = received.size() - chunk.size(), overlap = acknowledgement.size() - 1;
            size_t at = received.find(acknowledgement, from > overlap ? from - overlap : 0);
            if (at != std::string::npos) {
                stream_start = at + acknowledgement.size();
                stream = received.substr(stream_start);
            }
        } else {
            stream += chunk;
        }
        if (stream_start != std::string::npos && !chunk.empty()) {
            size_t written_before = stream.size() >= chunk.size() ? stream.size() - chunk.size() : 0;
            if (stream_start > received.size() - chunk.size())
                written_before = 0;  // the acknowledgement ended in this read
            for (const std::string *marker : {&success_marker, &failure_marker}) {
                if (stream.size() >= marker->size() && ends_with(stream, *marker)) {
                    model_ended = true;
                    model_file = stream.substr(0, stream.size() - marker->size());
                    // The bytes before the marker are decoded, those of the
                    // marker's own read too; a split marker's head was already.
                    stream_decoded = std::max(stream_decoded, model_file.size());
                    bool whole = stream.size() - written_before >= marker->size();
                    if (marker == &success_marker)
                        model_reason = nullptr;
                    else
                        model_reason = whole ? capture_reason_dumping_error_whole : capture_reason_dumping_error_split;
                    break;
                }
            }
            if (!model_ended)
                stream_decoded = stream.size();
            read_starts.push_back(std::min(written_before, stream.size()));
        }
        check(ended == (model_ended ? 1 : 0), "the capture ends exactly when the stream ends with a marker");
        check(state.ended == ended, "the state's end agrees with capture_take_read");
        if (model_ended || !input.ConsumeBool())
            continue;

        // The device stays quiet after this read.
        const guint64 quiet_ms = input.ConsumeIntegralInRange<guint64>(0, 2 * CAPTURE_QUIET_MS);
        const int quiet_end = capture_take_quiet(&state, quiet_ms);
        const std::string *marker = nullptr;
        const size_t at = stream_start == std::string::npos ? std::string::npos : last_marker(stream, &marker);
        const size_t behind = at == std::string::npos ? 0 : stream.size() - at - marker->size();
        const bool ended_in_last_read = !read_starts.empty() && at != std::string::npos &&
                                        at + marker->size() > read_starts.back();
        if (quiet_ms < CAPTURE_QUIET_MS || behind == 0 || behind > CAPTURE_STRAY_LIMIT) {
            check(quiet_end == 0, "a silence ends only on a marker with a few bytes behind it");
            continue;
        }
        if (ended_in_last_read)
            check(quiet_end == 1, "a silence ends on a marker that ended inside the last read");
        if (!quiet_end)
            continue;
        model_ended = true;
        model_file = stream.substr(0, at);
        // The read that brought the marker's last byte; a head of the marker
        // that came before it was decoded.
        const size_t last_read = *(std::upper_bound(read_starts.begin(), read_starts.end(), at + marker->size() - 1) - 1);
        stream_decoded = std::max(at, last_read);
        if (marker == &success_marker)
            model_reason = nullptr;
        else
            model_reason = last_read > at ? capture_reason_dumping_error_split : capture_reason_dumping_error_whole;
        check(state.ended == 1, "a silence that ends the capture ends it");
    }

    if (!model_ended) {
        capture_read_failed(&state);
        model_reason = capture_reason_communication_error;
        model_file = stream;
        stream_decoded = stream.size();
    }
    const char *reason = capture_end_reason(&state);
    check(state.ended == 1, "a failed read ends the capture");
    // It ends at most once: a later failure does not replace the reason.
    capture_read_failed(&state);
    check(capture_end_reason(&state) == reason, "the end reason never changes once set");
    check(reason == model_reason, "end reason");

    check(seen.acknowledgements == (stream_start != std::string::npos ? 1 : 0), "acknowledgement announced once");
    if (seen.acknowledgements)
        check(strcmp(seen.message, dump ? "Dumping..." : "Monitoring...") == 0, "capture message");

    unsigned expected_on = 0;
    for (unsigned k = 0; k < reads_with_data; k++)
        expected_on += k % 8 == 4;
    check(unsigned(seen.light_on) == expected_on, "the light comes on after reads 4, 12, 20, ...");

    // Samples: every whole pair of stream bytes before the marker, in order
    // (the head of a split marker included when it came with earlier reads).
    size_t pairs = stream_decoded / 2;
    check(seen.samples.size() == pairs, "sample count");
    for (size_t i = 0; i < pairs; i++) {
        unsigned short expected = (unsigned char)stream[2 * i] | ((unsigned char)stream[2 * i + 1] << 8);
        check(seen.samples[i] == expected, "sample value");
    }

    if (file) {
        std::string written = file_contents(file);
        check(written == model_file, "the file holds the stream less its marker");
        check(capture_finish_file(file, reason) == reason, "closing a sound file keeps the reason");
    }
    return 0;
}
