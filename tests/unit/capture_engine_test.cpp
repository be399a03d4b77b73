// The capture engine fed with the bytes a device sends after the sampling
// command's echo, in many chunkings, writing real files.
#include "link/capture.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <glib/gstdio.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string ack = "OK\r\n";
const std::string success = std::string("OK!\r\n> ");
const std::string failure = std::string("KO!\r\n> ");

// Random sample bytes that hold neither marker anywhere.
std::string make_stream(size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    for (;;) {
        std::string stream(length, '\0');
        for (auto &byte : stream)
            byte = static_cast<char>(random() & 0xFF);
        std::string framed = stream + "OK!";
        if (framed.find(success) == std::string::npos && framed.find(failure) == std::string::npos)
            return stream;
    }
}

std::vector<unsigned short> samples_of(const std::string &bytes)
{
    std::vector<unsigned short> samples;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return samples;
}

std::vector<std::string> split_fixed(const std::string &bytes, size_t size)
{
    std::vector<std::string> reads;
    for (size_t at = 0; at < bytes.size(); at += size)
        reads.push_back(bytes.substr(at, size));
    return reads;
}

std::vector<std::string> split_random(const std::string &bytes, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> size(1, 64);
    std::vector<std::string> reads;
    for (size_t at = 0; at < bytes.size();) {
        size_t take = std::min(size(random), bytes.size() - at);
        reads.push_back(bytes.substr(at, take));
        at += take;
    }
    return reads;
}

std::string file_bytes(const char *path)
{
    gchar *contents = nullptr;
    gsize length = 0;
    std::string bytes;
    if (g_file_get_contents(path, &contents, &length, nullptr))
        bytes.assign(contents, length);
    g_free(contents);
    return bytes;
}

struct recorder {
    std::vector<unsigned short> samples;
    std::vector<std::string> messages;
    std::string log;  // "off", "on" and "R" (a read handed over), space separated
};

void on_acknowledged(void *context, const char *message)
{
    static_cast<recorder *>(context)->messages.push_back(message);
}

void on_led(void *context, int on)
{
    static_cast<recorder *>(context)->log += on ? "on " : "off ";
}

void on_samples(void *context, const unsigned short *samples, unsigned count)
{
    auto &seen = static_cast<recorder *>(context)->samples;
    seen.insert(seen.end(), samples, samples + count);
}

struct outcome {
    bool ended = false;
    const char *reason = nullptr;
    std::string file;  // the dump file's bytes after the capture
    recorder seen;
    size_t reads_taken = 0;
};

class CaptureEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = g_dir_make_tmp("capture-XXXXXX", nullptr);
        ASSERT_NE(folder, nullptr);
        path = g_build_filename(folder, "tape.DMP", nullptr);
    }

    void TearDown() override
    {
        g_unlink(path);
        g_rmdir(folder);
        g_free(path);
        g_free(folder);
    }

    // Runs the reads through the engine as the read loop does: light cadence
    // before each read, then the read's bytes, until the capture ends.
    // With quiet_ms, the device then stays quiet for that long.
    outcome run(const std::vector<std::string> &reads, bool dump = true, FILE *file = nullptr,
                guint64 quiet_ms = 0)
    {
        outcome result;
        if (dump && !file)
            file = g_fopen(path, "w+b");
        capture_outputs outputs{on_acknowledged, on_led, on_samples, &result.seen};
        capture_state state;
        capture_init(&state, dump ? file : nullptr, &outputs);
        for (const auto &read : reads) {
            capture_before_read(&state);
            result.seen.log += "R ";
            result.reads_taken++;
            if (capture_take_read(&state, reinterpret_cast<const unsigned char *>(read.data()), read.size()))
                break;
        }
        if (quiet_ms)
            capture_take_quiet(&state, quiet_ms);
        result.ended = state.ended;
        result.reason = capture_end_reason(&state);
        if (dump) {
            result.reason = capture_finish_file(file, result.reason);
            result.file = file_bytes(path);
        }
        return result;
    }

    gchar *folder = nullptr;
    gchar *path = nullptr;
};

// The samples seen are the stream's, in step; after the stream only the head
// of a marker that arrived apart from its tail may have been decoded.
void expect_samples_in_step(const std::vector<unsigned short> &seen, const std::string &stream, size_t at_least)
{
    auto expected = samples_of(stream);
    size_t common = std::min(seen.size(), expected.size());
    for (size_t i = 0; i < common; i++)
        ASSERT_EQ(seen[i], expected[i]) << "sample " << i;
    EXPECT_GE(common, at_least);
    EXPECT_LE(seen.size(), expected.size() + 3);
}

TEST_F(CaptureEngine, EveryFixedChunkSizeFrom1To64GivesTheExactStream)
{
    const std::string stream = make_stream(1400, 1);
    for (size_t size = 1; size <= 64; size++) {
        SCOPED_TRACE("chunk size " + std::to_string(size));
        outcome result = run(split_fixed(ack + stream + success, size));
        EXPECT_TRUE(result.ended);
        EXPECT_EQ(result.reason, nullptr);
        EXPECT_TRUE(result.file == stream) << "file of " << result.file.size() << " bytes";
        expect_samples_in_step(result.seen.samples, stream, (stream.size() - 64) / 2);
    }
}

TEST_F(CaptureEngine, RandomChunkingsGiveTheExactStream)
{
    for (unsigned seed = 0; seed < 300; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::string stream = make_stream(2 * (seed % 97) + 600, seed);
        outcome result = run(split_random(ack + stream + success, seed));
        EXPECT_EQ(result.reason, nullptr);
        EXPECT_TRUE(result.file == stream);
        expect_samples_in_step(result.seen.samples, stream, (stream.size() - 64) / 2);
    }
}

TEST_F(CaptureEngine, SuccessMarkerAtTheEndOfAFullChunk)
{
    const std::string stream = make_stream(64 + 57, 2);
    outcome result = run({ack, stream.substr(0, 64), stream.substr(64) + success});
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_TRUE(result.file == stream);
    // The data in front of the marker is written and decoded.
    EXPECT_EQ(result.seen.samples, samples_of(stream));
}

TEST_F(CaptureEngine, SuccessMarkerAloneAsAChunk)
{
    const std::string stream = make_stream(128, 3);
    outcome result = run({ack, stream.substr(0, 64), stream.substr(64), success});
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_TRUE(result.file == stream);
    EXPECT_EQ(result.seen.samples, samples_of(stream));
}

TEST_F(CaptureEngine, TwentyOneBytesEndingWithTheMarkerWriteFourteen)
{
    const std::string stream = make_stream(64 + 14, 4);
    outcome result = run({ack, stream.substr(0, 64), stream.substr(64) + success});
    EXPECT_EQ(result.reason, nullptr);
    ASSERT_EQ(result.file.size(), 78u);
    EXPECT_TRUE(result.file == stream);
    EXPECT_EQ(result.seen.samples, samples_of(stream));
}

TEST_F(CaptureEngine, SuccessMarkerSplitAfterAFullChunkAtEveryPosition)
{
    for (size_t head = 1; head <= 6; head++) {
        SCOPED_TRACE("marker bytes in the full chunk: " + std::to_string(head));
        const std::string stream = make_stream(128 - head, 10 + head);
        std::string device = stream + success;
        outcome result = run({ack, device.substr(0, 64), device.substr(64, 64), device.substr(128)});
        EXPECT_TRUE(result.ended);
        EXPECT_EQ(result.reason, nullptr);
        EXPECT_TRUE(result.file == stream) << "file of " << result.file.size() << " bytes";
        expect_samples_in_step(result.seen.samples, stream, 60);
    }
}

TEST_F(CaptureEngine, SuccessMarkerSplitAfterAShortChunkAtEveryPosition)
{
    // A short read (the device paused for longer than a read waits) holding
    // the head of the marker, then its tail.
    for (size_t head = 1; head <= 6; head++) {
        SCOPED_TRACE("marker bytes in the short chunk: " + std::to_string(head));
        const std::string stream = make_stream(64 + 30 - head, 20 + head);
        std::string device = stream + success;
        outcome result = run({ack, device.substr(0, 64), device.substr(64, 30), device.substr(94)});
        EXPECT_EQ(result.reason, nullptr);
        EXPECT_TRUE(result.file == stream) << "file of " << result.file.size() << " bytes";
    }
}

TEST_F(CaptureEngine, SuccessMarkerSpreadOverSeveralReads)
{
    const std::string stream = make_stream(100, 5);
    outcome result = run({ack + stream.substr(0, 50), stream.substr(50) + "OK", "!\r", "\n", "> "});
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_TRUE(result.file == stream);
}

// Bytes behind a marker hide it from the end of the read; the device's
// silence afterwards shows it was the end. The file and the samples are the
// stream's, as with the marker at the end of a read.
TEST_F(CaptureEngine, MarkerWithStrayBytesBehindItEndsOnceTheDeviceIsQuiet)
{
    const std::string stream = make_stream(100, 30);
    struct ending {
        std::vector<std::string> reads;
        const char *reason;
        bool exact_samples;  // no head of the marker came apart from it
    };
    const ending endings[] = {
        {{ack, stream + success + "\n"}, nullptr, true},
        {{ack, stream + success + "\r", "\n"}, nullptr, true},
        {{ack, stream + "OK!", "\r\n> X"}, nullptr, false},
        {{ack, stream + failure + "\n"}, "Dumping error (#1)", true},
        {{ack, stream + "KO", "!\r\n> \n"}, "Dumping error (#2)", false},
    };
    for (const ending &e : endings) {
        SCOPED_TRACE(testing::PrintToString(e.reads.back()));
        EXPECT_FALSE(run(e.reads, true, nullptr, CAPTURE_QUIET_MS - 1).ended);
        outcome result = run(e.reads, true, nullptr, CAPTURE_QUIET_MS);
        EXPECT_TRUE(result.ended);
        EXPECT_STREQ(result.reason, e.reason);
        EXPECT_TRUE(result.file == stream) << "file of " << result.file.size() << " bytes";
        if (e.exact_samples)
            EXPECT_EQ(result.seen.samples, samples_of(stream));
        else
            expect_samples_in_step(result.seen.samples, stream, stream.size() / 2);
    }
}

// A marker with more bytes behind it than a device sends after its end was
// sample data: written, decoded in order, and no reason to end.
TEST_F(CaptureEngine, MarkerInsideTheStreamFollowedByMoreDataIsData)
{
    const std::string head = make_stream(50, 31) + success + "ab";
    const std::string more[] = {make_stream(40, 32), make_stream(40, 33), make_stream(30, 34)};
    const std::vector<std::vector<std::string>> chunkings = {
        {ack, head, more[0] + success},                                  // then the end
        {ack, head, more[0], more[1], more[2] + success},                // then over the limit
        {ack, head, more[0], more[1] + "OK!\r\n> \n", more[2] + success},  // then another one
    };
    for (const auto &reads : chunkings) {
        std::string data;
        for (size_t i = 1; i < reads.size(); i++)
            data += reads[i];
        data.resize(data.size() - success.size());
        outcome result = run(reads, true, nullptr, CAPTURE_QUIET_MS);
        EXPECT_EQ(result.reason, nullptr);
        EXPECT_TRUE(result.file == data) << "file of " << result.file.size() << " bytes";
        EXPECT_EQ(result.seen.samples, samples_of(data));
    }
}

TEST_F(CaptureEngine, FailureMarkerAtTheEndOfAChunkIsDumpingErrorOne)
{
    const std::string stream = make_stream(64 + 57, 6);
    outcome result = run({ack, stream.substr(0, 64), stream.substr(64) + failure});
    EXPECT_TRUE(result.ended);
    EXPECT_STREQ(result.reason, "Dumping error (#1)");
    // The file ends with the last stream byte before the marker.
    EXPECT_TRUE(result.file == stream);
}

TEST_F(CaptureEngine, FailureMarkerAloneAsAChunkIsDumpingErrorOne)
{
    const std::string stream = make_stream(128, 7);
    outcome result = run({ack, stream.substr(0, 64), stream.substr(64), failure});
    EXPECT_STREQ(result.reason, "Dumping error (#1)");
    EXPECT_TRUE(result.file == stream);
}

TEST_F(CaptureEngine, FailureMarkerSplitAtEveryPositionIsDumpingErrorTwo)
{
    for (size_t head = 1; head <= 6; head++) {
        for (size_t first : {size_t(64), size_t(30)}) {
            SCOPED_TRACE("marker bytes in the first chunk: " + std::to_string(head) + " of " + std::to_string(first));
            const std::string stream = make_stream(64 + first - head, 30 + head);
            std::string device = stream + failure;
            outcome result = run({ack, device.substr(0, 64), device.substr(64, first), device.substr(64 + first)});
            EXPECT_STREQ(result.reason, "Dumping error (#2)");
            EXPECT_TRUE(result.file == stream) << "file of " << result.file.size() << " bytes";
        }
    }
}

TEST_F(CaptureEngine, MoreThan64BytesBeforeTheAcknowledgement)
{
    std::string chatter;
    while (chatter.size() < 200)
        chatter += "u 0 0 0\r\nOK\rOOK\n";  // near misses of the acknowledgement
    const std::string stream = make_stream(300, 8);
    outcome result = run(split_fixed(chatter + ack + stream + success, 64));
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_EQ(result.seen.messages, std::vector<std::string>{"Dumping..."});
    EXPECT_TRUE(result.file == stream);
    expect_samples_in_step(result.seen.samples, stream, (300 - 64) / 2);
}

TEST_F(CaptureEngine, AcknowledgementSplitAcrossReads)
{
    const std::string stream = make_stream(90, 9);
    outcome result = run({"\r\nO", "K\r", "\n" + stream.substr(0, 40), stream.substr(40) + success});
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_TRUE(result.file == stream);
    EXPECT_EQ(result.seen.samples, samples_of(stream));
}

TEST_F(CaptureEngine, SamplesInTheSameReadAsTheAcknowledgementAreKept)
{
    const std::string stream = make_stream(60 + 64, 11);
    outcome result = run({ack + stream.substr(0, 60), stream.substr(60), success});
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_TRUE(result.file == stream);
    EXPECT_EQ(result.seen.samples, samples_of(stream));
}

TEST_F(CaptureEngine, AWholeCaptureInOneRead)
{
    const std::string stream = make_stream(20, 12);
    outcome result = run({ack + stream + success});
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_TRUE(result.file == stream);
}

TEST_F(CaptureEngine, AnEmptyStreamLeavesAnEmptyFile)
{
    outcome split = run({ack + "OK!", "\r\n> "});
    EXPECT_EQ(split.reason, nullptr);
    EXPECT_TRUE(split.ended);
    EXPECT_EQ(split.file, "");
    outcome whole = run({ack + success});
    EXPECT_EQ(whole.reason, nullptr);
    EXPECT_EQ(whole.file, "");
}

TEST_F(CaptureEngine, AcknowledgementTextInsideTheStreamIsData)
{
    std::string stream = make_stream(40, 13);
    stream.replace(10, 4, ack);
    outcome result = run({ack + stream.substr(0, 20), stream.substr(20), success});
    EXPECT_EQ(result.seen.messages.size(), 1u);
    EXPECT_TRUE(result.file == stream);
}

TEST_F(CaptureEngine, OddChunksKeepTheSamplesInStep)
{
    const std::string stream = make_stream(64 + 63 + 1 + 3 + 5 + 63 + 1, 14);
    std::vector<std::string> reads{ack};
    size_t at = 0;
    for (size_t size : {64, 63, 1, 3, 5, 63, 1}) {
        reads.push_back(stream.substr(at, size));
        at += size;
    }
    reads.push_back(success);
    outcome result = run(reads);
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_TRUE(result.file == stream);
    EXPECT_EQ(result.seen.samples, samples_of(stream));
}

TEST_F(CaptureEngine, PreviewDecodesWithoutAFile)
{
    const std::string stream = make_stream(200, 15);
    outcome result = run(split_fixed(ack + stream + success, 37), false);
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_EQ(result.seen.messages, std::vector<std::string>{"Monitoring..."});
    expect_samples_in_step(result.seen.samples, stream, (200 - 37) / 2);
}

TEST_F(CaptureEngine, PreviewFindsASplitMarker)
{
    const std::string stream = make_stream(61, 16);
    outcome result = run({ack, stream + "OK!", "\r\n> "}, false);
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.reason, nullptr);
}

TEST_F(CaptureEngine, NothingEndsBeforeTheAcknowledgement)
{
    // Markers before the acknowledgement are console chatter, not a result.
    outcome result = run({success, failure, "OK!\r\n"});
    EXPECT_FALSE(result.ended);
    EXPECT_EQ(result.reason, nullptr);
    EXPECT_TRUE(result.seen.messages.empty());
    EXPECT_EQ(result.file, "");
}

TEST_F(CaptureEngine, LightIsOffForFourReadsThenOnForFour)
{
    std::vector<std::string> reads{ack};
    for (int i = 0; i < 16; i++)
        reads.push_back("ab");
    outcome result = run(reads);
    EXPECT_FALSE(result.ended);
    EXPECT_EQ(result.seen.log,
              "off R R R R R on R R R "
              "off R R R R R on R R R "
              "off R ");
}

TEST_F(CaptureEngine, EmptyReadsDoNotCountForTheLight)
{
    recorder seen;
    capture_outputs outputs{nullptr, on_led, nullptr, &seen};
    capture_state state;
    capture_init(&state, nullptr, &outputs);
    const unsigned char byte = 'x';
    for (int read = 0; read < 5; read++) {
        capture_before_read(&state);
        // A read that timed out empty is simply issued again.
        EXPECT_EQ(capture_take_read(&state, &byte, 0), 0);
        EXPECT_EQ(capture_take_read(&state, &byte, 0), 0);
        EXPECT_EQ(capture_take_read(&state, &byte, 1), 0);
    }
    EXPECT_EQ(seen.log, "off on ");
    EXPECT_EQ(state.read_counter, 5u);
}

TEST_F(CaptureEngine, ReadFailureIsACommunicationErrorAndKeepsWhatCame)
{
    const std::string stream = make_stream(100, 17);
    FILE *file = g_fopen(path, "w+b");
    capture_state state;
    capture_init(&state, file, nullptr);
    std::string device = ack + stream;
    EXPECT_EQ(capture_take_read(&state, reinterpret_cast<const unsigned char *>(device.data()), device.size()), 0);
    capture_read_failed(&state);
    EXPECT_TRUE(state.ended);
    EXPECT_STREQ(capture_finish_file(file, capture_end_reason(&state)), "Communication error");
    EXPECT_EQ(file_bytes(path), stream);
}

TEST_F(CaptureEngine, ACaptureEndsOnlyOnce)
{
    const std::string stream = make_stream(30, 18);
    FILE *file = g_fopen(path, "w+b");
    capture_state state;
    capture_init(&state, file, nullptr);
    std::string device = ack + stream + success;
    EXPECT_EQ(capture_take_read(&state, reinterpret_cast<const unsigned char *>(device.data()), device.size()), 1);
    std::string more = stream + failure;
    EXPECT_EQ(capture_take_read(&state, reinterpret_cast<const unsigned char *>(more.data()), more.size()), 1);
    capture_read_failed(&state);
    EXPECT_EQ(capture_end_reason(&state), nullptr);
    EXPECT_EQ(capture_finish_file(file, capture_end_reason(&state)), nullptr);
    EXPECT_EQ(file_bytes(path), stream);
}

// ---- file failures, on real files that refuse ----

TEST_F(CaptureEngine, FullDiskWhileStreamingIsFileWriteFailed)
{
    FILE *full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    const std::string stream = make_stream(20000, 19);
    outcome result = run(split_fixed(ack + stream + success, 64), true, full);
    EXPECT_TRUE(result.ended);
    EXPECT_STREQ(result.reason, "File write failed");
    EXPECT_LT(result.reads_taken, 20000u / 64);
}

TEST_F(CaptureEngine, FullDiskForTheLastDataIsLastFileWriteFailed)
{
    FILE *full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);
    const std::string stream = make_stream(20, 20);
    outcome result = run({ack, stream + success}, true, full);
    EXPECT_STREQ(result.reason, "Last file write failed");
}

TEST_F(CaptureEngine, DataStuckInTheBufferAtCloseIsLastFileWriteFailed)
{
    // The engine's writes all land in the stream's buffer; the disk refuses
    // them only when the file is closed. That must not read as success.
    FILE *full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    const std::string stream = make_stream(100, 21);
    outcome result = run({ack, stream, success}, true, full);
    EXPECT_STREQ(result.reason, "Last file write failed");
}

TEST_F(CaptureEngine, FileThatCannotBeCutIsLastFileOperationFailed)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    FILE *pipe_file = fdopen(ends[1], "wb");
    ASSERT_NE(pipe_file, nullptr);
    const std::string stream = make_stream(60, 22);
    outcome result = run({ack, stream + "OK!\r", "\n> "}, true, pipe_file);
    EXPECT_STREQ(result.reason, "Last file operation failed");
    // Everything before the cut was delivered, the marker's head included.
    std::string delivered(200, '\0');
    ssize_t got = read(ends[0], delivered.data(), delivered.size());
    close(ends[0]);
    ASSERT_GE(got, 0);
    delivered.resize(got);
    EXPECT_EQ(delivered, stream + "OK!\r");
}

TEST_F(CaptureEngine, FailureMarkerOutranksAFileProblem)
{
    FILE *full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);
    outcome result = run({ack, make_stream(20, 23) + failure}, true, full);
    EXPECT_STREQ(result.reason, "Dumping error (#1)");
}

}  // namespace
