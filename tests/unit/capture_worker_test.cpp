// The capture worker against the simulated device on a real pseudo-terminal:
// port, prompt, sampling command, acknowledgement, stream and ending, with
// what it posts to the interface recorded.
#include "link/capture.h"
#include "link/capture_worker.h"
#include "devsim.h"
#include "link/capture_progress.h"
#include "link/handoff.h"
#include "link/handoff_frame.h"
#include "link/sample_pass.h"
#include "link/serial.h"
#include "tape_demo.h"
#include "tape_file.h"
#include "tape/tape_index.h"
#include "tape_synth.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <glib/gstdio.h>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex log_lock;
std::vector<std::string> posts;  // what the worker handed to the interface, in order

void log_post(const std::string &entry)
{
    std::lock_guard<std::mutex> guard(log_lock);
    posts.push_back(entry);
}

gboolean on_status(gpointer text)
{
    log_post(std::string("status ") + static_cast<const char *>(text));
    return FALSE;
}

gboolean on_led_on(gpointer)
{
    log_post("led on");
    return FALSE;
}

gboolean on_led_off(gpointer)
{
    log_post("led off");
    return FALSE;
}

gboolean on_name(gpointer name)
{
    log_post(std::string("name ") + reinterpret_cast<const char *>(static_cast<sample_pass_name *>(name)->name));
    g_free(name);
    return FALSE;
}

gboolean on_tape_file(gpointer data)
{
    const auto *file = static_cast<const tape_file_event *>(data);
    log_post("file " + std::to_string(file->sequence) + " " + tape_loader_text(file->loader) + " " +
             tape_verdict_text(file->verdict));
    g_free(data);
    return FALSE;
}

gboolean on_finish(gpointer reason)
{
    log_post(std::string("finish ") + (reason ? static_cast<const char *>(reason) : "success"));
    return FALSE;
}

// Runs each hand-over at once on the posting thread.
void run_at_once(GSourceFunc callback, gpointer data)
{
    callback(data);
}

// A frame clock that ticks whenever something waits: every light switch is
// shown as it comes.
gboolean on_frame(gpointer)
{
    handoff_frame_rest();
    capture_worker_show_light();
    return FALSE;
}

bool was_posted(const std::string &entry)
{
    std::lock_guard<std::mutex> guard(log_lock);
    return std::find(posts.begin(), posts.end(), entry) != posts.end();
}

std::vector<std::string> take_posts()
{
    std::lock_guard<std::mutex> guard(log_lock);
    return std::move(posts);
}

std::vector<unsigned char> random_stream(size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<unsigned char> bytes(length);
    for (auto &byte : bytes)
        byte = static_cast<unsigned char>(random() & 0xFF);
    // Keep the markers out of the data.
    for (size_t i = 0; i + 2 < length; i++)
        if ((bytes[i] == 'O' || bytes[i] == 'K') && bytes[i + 2] == '!')
            bytes[i + 2] = '?';
    return bytes;
}

class CaptureWorker : public ::testing::Test {
protected:
    void SetUp() override
    {
        handoff_set_poster(run_at_once);
        static const capture_worker_callbacks callbacks{on_status, on_led_on, on_led_off, on_name};
        capture_worker_set_callbacks(&callbacks);
        handoff_frame_set_callback(on_frame);
        // The light as at the program's start: dark, and no change made on
        // the last look. An earlier test's frames may not have shown its
        // ending, and a look that switched the light off holds the next fast
        // change back by a frame.
        capture_worker_show_light();
        capture_worker_show_light();
        take_posts();
        dump_path = folder.path() + "/tape.DMP";
        serial_set_timeout(50);  // no test waits out a whole read
    }

    void TearDown() override
    {
        if (sim)
            devsim_stop(sim);
        serial_disconnect_port();
        handoff_frame_set_callback(nullptr);
        handoff_set_poster(nullptr);
        capture_worker_set_quiet_time(CAPTURE_QUIET_MS);
        serial_set_timeout(SERIAL_TIMEOUT_MS);
    }

    void start_device(devsim_options options)
    {
        sim = devsim_start(options);
        ASSERT_NE(sim, nullptr);
    }

    static devsim_options fast_options(std::vector<unsigned char> stream)
    {
        devsim_options options;
        options.bytes_per_second = 0;
        options.stream = [stream](const devsim_sampling_request &) { return devsim_stream_from_bytes(stream); };
        return options;
    }

    // One whole capture as the program's worker runs it, ending included.
    const char *capture(bool dump, const char *command = "u 0 0 0")
    {
        FILE *file = dump ? g_fopen(dump_path.c_str(), "w+b") : nullptr;
        std::string port = devsim_port_name(sim);
        const char *reason = capture_worker_run(file, port.c_str(), command);
        capture_worker_end(file, reason, on_finish);
        return reason;
    }

    std::vector<unsigned char> dump_file() const
    {
        std::vector<unsigned char> bytes;
        tape_read_file(dump_path.c_str(), &bytes, nullptr);
        return bytes;
    }

    test_folder folder;
    std::string dump_path;
    devsim *sim = nullptr;
};

TEST_F(CaptureWorker, DumpWritesExactlyTheDeviceStream)
{
    auto stream = random_stream(50000, 1);
    start_device(fast_options(stream));
    EXPECT_EQ(capture(true, "u 3 0 1"), nullptr);
    EXPECT_TRUE(dump_file() == stream) << "file of " << dump_file().size() << " bytes";
    auto status = devsim_get_status(sim);
    ASSERT_EQ(status.commands.size(), 1u);
    EXPECT_EQ(status.commands[0], "u 3 0 1");

    auto seen = take_posts();
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen.front(), "status Press PLAY on tape...");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "status Dumping..."), seen.end());
    // The ending: light off, then the finish.
    EXPECT_EQ(seen[seen.size() - 2], "led off");
    EXPECT_EQ(seen.back(), "finish success");
}

TEST_F(CaptureWorker, PreviewOfTheDemoTapeFindsItsThreeNamesInOrder)
{
    start_device(fast_options(dmp_bytes_of_samples(tape_demo_samples())));
    EXPECT_EQ(capture(false), nullptr);
    std::vector<std::string> names, statuses;
    for (const auto &entry : take_posts()) {
        if (entry.rfind("name ", 0) == 0)
            names.push_back(entry.substr(5));
        if (entry.rfind("status ", 0) == 0)
            statuses.push_back(entry.substr(7));
    }
    ASSERT_EQ(names.size(), 3u);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(names[i].substr(0, strlen(tape_demo_names[i])), tape_demo_names[i]);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Press PLAY on tape...", "Monitoring..."}));
}

// The demo tape, then a program whose data the stream cuts off: the files as
// they are found, the last one cut short when the capture ends.
TEST_F(CaptureWorker, PreviewListsTheFilesAndCutsOneLeftUnfinishedShortAtTheEnd)
{
    static const capture_worker_callbacks with_files{on_status, on_led_on, on_led_off, on_name, on_tape_file};
    capture_worker_set_callbacks(&with_files);
    tape_synth synth;
    tape_synth_init(&synth);
    const unsigned char program[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};
    tape_rom_program(&synth, tape_name_field("CUT"), 0x0801, program, sizeof program);
    std::vector<unsigned short> samples = tape_demo_samples();
    samples.insert(samples.end(), synth.samples.begin(), synth.samples.end() - 1000); // inside the first data copy
    start_device(fast_options(dmp_bytes_of_samples(samples)));
    EXPECT_EQ(capture(false), nullptr);

    std::vector<std::string> files;
    for (const auto &entry : take_posts())
        if (entry.rfind("file ", 0) == 0)
            files.push_back(entry);
    EXPECT_EQ(files, (std::vector<std::string>{"file 1 ROM reading...", "file 1 ROM good",
                                               "file 2 Turbo Tape 250 reading...", "file 2 Turbo Tape 250 good",
                                               "file 3 Turrican reading...", "file 3 Turrican good", "file 4 ROM reading...",
                                               "file 4 ROM cut short"}));
}

TEST_F(CaptureWorker, LightBlinksOnTheReadCadence)
{
    start_device(fast_options(random_stream(64 * 40, 2)));
    EXPECT_EQ(capture(false), nullptr);
    std::vector<std::string> light;
    for (const auto &entry : take_posts())
        if (entry == "led on" || entry == "led off")
            light.push_back(entry);
    // Off before the first read, on after the fifth, and so on by turns; the
    // ending switches it off once more.
    ASSERT_GE(light.size(), 9u);
    for (size_t i = 0; i + 1 < light.size(); i++)
        EXPECT_EQ(light[i], i % 2 ? "led on" : "led off") << i;
    EXPECT_EQ(light.back(), "led off");
}

int frames = 0;

// Frames that come only after every third switch of the light, as when reads
// come far faster than a screen's frames.
gboolean on_every_third_switch(gpointer)
{
    handoff_frame_rest();
    if (++frames % 3 == 0)
        capture_worker_show_light();
    return FALSE;
}

TEST_F(CaptureWorker, LightFasterThanFramesChangesEveryOtherFrameAndEndsDark)
{
    frames = 0;
    handoff_frame_set_callback(on_every_third_switch);
    // Samples of 1 to 7 ticks, under a plot row's worth in all: only the
    // light's switches wake the frame clock, also once an earlier test has
    // given the plot a size (every finished row wakes it then).
    std::vector<unsigned char> short_samples(64 * 400);
    for (size_t i = 0; i < short_samples.size(); i += 2)
        short_samples[i] = static_cast<unsigned char>(1 + i / 2 % 7);
    start_device(fast_options(short_samples));
    EXPECT_EQ(capture(false), nullptr);
    std::vector<std::string> light;
    for (const auto &entry : take_posts())
        if (entry == "led on" || entry == "led off")
            light.push_back(entry);
    // A change in every other frame, by turns, from dark; the ending's
    // switch-off last.
    const int shown_frames = frames / 3;
    ASSERT_GE(shown_frames, 10);
    EXPECT_GE(int(light.size()) - 1, shown_frames / 2 - 1);
    EXPECT_LE(int(light.size()) - 1, shown_frames / 2 + 2);
    for (size_t i = 0; i + 1 < light.size(); i++)
        EXPECT_EQ(light[i], i % 2 ? "led off" : "led on") << i;
    EXPECT_EQ(light.back(), "led off");
}

TEST_F(CaptureWorker, PauseLongerThanAReadWithTheMarkerSplitAcrossIt)
{
    auto stream = random_stream(3000, 3);
    for (unsigned cut : {1, 4, 6}) {
        SCOPED_TRACE("marker cut after byte " + std::to_string(cut));
        devsim_options options = fast_options(stream);
        options.pauses = {{1001, 150}};  // an odd number of bytes, then silence
        options.split_marker_at = cut;
        options.split_marker_pause_ms = 150;
        start_device(options);
        EXPECT_EQ(capture(true), nullptr);
        EXPECT_TRUE(dump_file() == stream) << "file of " << dump_file().size() << " bytes";
        devsim_stop(sim);
        sim = nullptr;
        serial_disconnect_port();
    }
}

// A device that sends a byte behind its end marker: the marker is not at the
// end of a read, and the capture ends on it only when the device stays
// quiet (for a quiet time handed in short). Without that it would wait until
// closed (the close below).
TEST_F(CaptureWorker, StrayByteBehindTheMarkerEndsTheCaptureOnceTheDeviceIsQuiet)
{
    capture_worker_set_quiet_time(100);
    auto stream = random_stream(3001, 9);
    for (bool fail : {false, true}) {
        SCOPED_TRACE(fail ? "failure marker" : "success marker");
        devsim_options options = fast_options(stream);
        options.fail_run = fail;
        // A pause before the marker: it comes in a read of its own.
        options.pauses = {{stream.size(), 200}};
        options.after_marker = "\n";
        start_device(options);
        capture_progress_reset();
        const char *reason = "still running";
        std::atomic<bool> done{false};
        std::thread worker([&] {
            reason = capture(true);
            done = true;
        });
        for (int i = 0; i < 3000 && !done; i++)
            g_usleep(10000);
        if (!done)
            serial_disconnect_port();
        worker.join();
        if (fail)
            EXPECT_STREQ(reason, "Dumping error (#1)");
        else
            EXPECT_EQ(reason, nullptr) << reason;
        EXPECT_TRUE(dump_file() == stream) << "file of " << dump_file().size() << " bytes";
        // Exactly the stream's samples went through the sample pass.
        EXPECT_EQ(capture_progress_pulses(), stream.size() / 2);
        devsim_stop(sim);
        sim = nullptr;
        serial_disconnect_port();
    }
}

TEST_F(CaptureWorker, FailureMarkerEndsWithADumpingError)
{
    auto stream = random_stream(5000, 4);
    devsim_options options = fast_options(stream);
    options.fail_run = true;
    start_device(options);
    const char *reason = capture(true);
    ASSERT_NE(reason, nullptr);
    EXPECT_TRUE(std::string(reason) == "Dumping error (#1)" || std::string(reason) == "Dumping error (#2)") << reason;
    EXPECT_TRUE(dump_file() == stream);
}

TEST_F(CaptureWorker, NoiseBeforeTheAcknowledgement)
{
    auto stream = random_stream(4000, 5);
    devsim_options options = fast_options(stream);
    options.garbage_before_ack = 300;
    start_device(options);
    EXPECT_EQ(capture(true), nullptr);
    EXPECT_TRUE(dump_file() == stream);
}

TEST_F(CaptureWorker, UnplugMidStreamIsACommunicationErrorAndKeepsWhatCame)
{
    auto stream = random_stream(200000, 6);
    devsim_options options = fast_options(stream);
    options.bytes_per_second = devsim_line_rate;
    options.unplug_after_bytes = 100001;
    start_device(options);
    EXPECT_STREQ(capture(true), "Communication error");
    // What still sat in the pseudo-terminal when it hung up is gone (the
    // kernel drops it, as it does when a USB device is pulled); everything the
    // client read is in the file, in order.
    auto file = dump_file();
    EXPECT_LE(file.size(), 100001u);
    EXPECT_GE(file.size(), 50000u);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), stream.begin()));
    EXPECT_EQ(take_posts().back(), "finish Communication error");
}

TEST_F(CaptureWorker, CloseWhileWaitingForTheTapeEndsTheCapture)
{
    devsim_options options = fast_options(random_stream(100, 7));
    options.pauses = {{0, 60000}};  // the tape does not start
    start_device(options);
    const char *reason = nullptr;
    std::thread worker([&] { reason = capture(true); });
    // Streaming: the acknowledgement has been taken.
    for (int i = 0; i < 1000 && !was_posted("status Dumping..."); i++)
        g_usleep(10000);
    ASSERT_TRUE(was_posted("status Dumping..."));
    serial_disconnect_port();
    worker.join();  // a hang here is the fault
    EXPECT_STREQ(reason, "Communication error");
    EXPECT_TRUE(dump_file().empty());
}

TEST_F(CaptureWorker, MissingPortIsReportedAndLeavesTheFileEmpty)
{
    FILE *file = g_fopen(dump_path.c_str(), "w+b");
    const char *reason = capture_worker_run(file, (folder.path() + "/no-such-port").c_str(), "u 0 0 0");
    capture_worker_end(file, reason, on_finish);
    EXPECT_STREQ(reason, "Unable to access communication port to device");
    EXPECT_TRUE(dump_file().empty());
    auto seen = take_posts();
    EXPECT_EQ(seen, (std::vector<std::string>{"status Press PLAY on tape...", "led off",
                                              "finish Unable to access communication port to device"}));
}

TEST_F(CaptureWorker, DeviceWithoutPromptIsUnableToSyncOnceClosed)
{
    devsim_options options;
    options.send_prompt = false;
    start_device(options);
    const char *reason = nullptr;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        reason = capture(false);
        done = true;
    });
    ASSERT_TRUE(devsim_wait(sim, [](const devsim_status &s) { return s.client_connected; }, 10000));
    // A close that comes while the port is still being set up finds nothing
    // to close; like a user, close again until the worker gives up.
    while (!done) {
        serial_disconnect_port();
        g_usleep(50000);
    }
    worker.join();
    EXPECT_STREQ(reason, "Unable to sync with device");
}

TEST_F(CaptureWorker, WrongEchoIsUnableToStartSampling)
{
    devsim_options options;
    options.echo = devsim_echo::wrong;
    start_device(options);
    EXPECT_STREQ(capture(false), "Unable to start sampling on device");
}

}  // namespace
