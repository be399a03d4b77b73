// The console protocol over a real pseudo-terminal; the test plays the device
// on the master side, the console runs on a worker thread as in the client.
#include "link/console.h"
#include "link/serial.h"
#include "test_pty.h"

#include <gtest/gtest.h>
#include <glib.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <future>
#include <string>

namespace {

// Hangs are caught, not waited out: past this the port is closed under the job.
const int hang_limit_ms = 10000;

// Reads wait this long at most (handed in); a wait that outlasts a few of
// them has seen reads time out and go on.
const unsigned read_ms = 50;
const int longer_than_a_read_ms = 3 * read_ms;

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        serial_set_timeout(read_ms);
        ASSERT_EQ(serial_connect_and_configure_port(device.path().c_str()), 1);
    }
    void TearDown() override
    {
        serial_disconnect_port();
        serial_set_timeout(SERIAL_TIMEOUT_MS);
    }

    void start(std::function<int()> job) { running = std::async(std::launch::async, std::move(job)); }

    bool still_running_after(int ms)
    {
        return running.wait_for(std::chrono::milliseconds(ms)) == std::future_status::timeout;
    }

    int result()
    {
        if (still_running_after(hang_limit_ms)) {
            ADD_FAILURE() << "console call did not return";
            serial_disconnect_port();
        }
        return running.get();
    }

    int run(std::function<int()> job)
    {
        start(std::move(job));
        return result();
    }

    test_pty device;
    std::future<int> running;
};

TEST_F(ConsoleTest, PromptAfterAGreetingInOneRead)
{
    ASSERT_TRUE(device.write("ZR7K8-LC v4\r\n> "));
    EXPECT_EQ(run(console_synch_with_device), 1);
}

TEST_F(ConsoleTest, PromptSplitBetweenCrAndLfOverTwoReads)
{
    ASSERT_TRUE(device.write("hello\r"));
    start(console_synch_with_device);
    // The first read ends at its time-out holding "hello\r".
    EXPECT_TRUE(still_running_after(longer_than_a_read_ms));
    ASSERT_TRUE(device.write("\n> "));
    EXPECT_EQ(result(), 1);
}

TEST_F(ConsoleTest, PromptSplitByAFullBufferIsFound)
{
    // 255 bytes and the CR fill the 256-byte buffer in one read; the LF and
    // the rest of the prompt come in the next one.
    ASSERT_TRUE(device.write(std::string(255, '#') + "\r\n> "));
    EXPECT_EQ(run(console_synch_with_device), 1);
}

TEST_F(ConsoleTest, ChattyDeviceIsFollowedUntilItsPrompt)
{
    std::string chatter;
    for (int line = 0; line < 40; line++)
        chatter += "self test line " + std::to_string(line) + " passed\r\n";
    ASSERT_GT(chatter.size(), 256u * 3);
    ASSERT_TRUE(device.write(chatter + "\r\n> "));
    EXPECT_EQ(run(console_synch_with_device), 1);
}

TEST_F(ConsoleTest, PromptWithoutItsSpaceKeepsTheWaitGoingUntilTheClose)
{
    ASSERT_TRUE(device.write("hi\r\n>"));
    start(console_synch_with_device);
    EXPECT_TRUE(still_running_after(longer_than_a_read_ms));
    serial_disconnect_port();
    EXPECT_EQ(result(), 0);
}

TEST_F(ConsoleTest, PromptFollowedByAByteDoesNotEndTheWait)
{
    ASSERT_TRUE(device.write("\r\n> x"));
    start(console_synch_with_device);
    EXPECT_TRUE(still_running_after(longer_than_a_read_ms));
    ASSERT_TRUE(device.write("\r\n> "));
    EXPECT_EQ(result(), 1);
}

TEST_F(ConsoleTest, FullBufferWithoutPromptWaitsWithoutSpinning)
{
    ASSERT_TRUE(device.write(std::string(300, 'z')));
    std::atomic<double> cpu_seconds{-1};
    start([&] {
        int result = console_synch_with_device();
        timespec used;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
        cpu_seconds = double(used.tv_sec) + used.tv_nsec / 1e9;
        return result;
    });
    EXPECT_TRUE(still_running_after(600));
    serial_disconnect_port();
    EXPECT_EQ(result(), 0);
    // A spinning wait burns the whole 0.6 s; a waiting one next to nothing.
    EXPECT_GE(cpu_seconds.load(), 0.0);
    EXPECT_LT(cpu_seconds.load(), 0.2);
}

TEST_F(ConsoleTest, EchoMatchedSendsOnlyTextAndCr)
{
    start([] { return console_execute_command("u 0 1 0"); });
    EXPECT_EQ(device.read(8, 2000), "u 0 1 0\r");
    EXPECT_EQ(device.read(1, 200), "");   // no LF follows the CR
    ASSERT_TRUE(device.write("u 0 1 0\r\n"));
    EXPECT_EQ(result(), 1);
}

TEST_F(ConsoleTest, EchoWithLfAndAnotherByteDiffers)
{
    ASSERT_TRUE(device.write("u 0 1 0\nX"));
    EXPECT_EQ(run([] { return console_execute_command("u 0 1 0"); }), 0);
}

TEST_F(ConsoleTest, EchoWithAChangedCharacterDiffersAfterExactlyItsLength)
{
    ASSERT_TRUE(device.write("u 0 2 0\r\nOK\r\n"));
    EXPECT_EQ(run([] { return console_execute_command("u 0 1 0"); }), 0);
    char after[4];
    ASSERT_EQ(run([&] { return console_read(after, 4); }), 1);
    EXPECT_EQ(std::string(after, 4), "OK\r\n");
}

TEST_F(ConsoleTest, BytesAfterTheEchoStayForTheCaller)
{
    ASSERT_TRUE(device.write("u 0 0 0\r\nOK\r\n\x10\x01"));
    EXPECT_EQ(run([] { return console_execute_command("u 0 0 0"); }), 1);
    char after[6];
    ASSERT_EQ(run([&] { return console_read(after, 6); }), 1);
    EXPECT_EQ(std::string(after, 6), std::string("OK\r\n\x10\x01", 6));
}

TEST_F(ConsoleTest, EmptyCommandSendsCrAndExpectsCrLf)
{
    start([] { return console_execute_command(""); });
    EXPECT_EQ(device.read(1, 2000), "\r");
    ASSERT_TRUE(device.write("\r\n"));
    EXPECT_EQ(result(), 1);
}

TEST_F(ConsoleTest, CommandWhoseEchoFillsTheBufferExactlyIsTested)
{
    std::string text(254, 'a');   // 254 + CR + LF = 256
    ASSERT_TRUE(device.write(text + "\r\n"));
    EXPECT_EQ(run([&] { return console_execute_command(text.c_str()); }), 1);
    EXPECT_EQ(device.read(255, 2000), text + "\r");
}

TEST_F(ConsoleTest, CommandOver256BytesIsSentThenFailsWithoutReading)
{
    std::string text(255, 'a');   // 255 + CR + LF = 257
    std::string echo = text + "\r\n";
    ASSERT_TRUE(device.write(echo));
    EXPECT_EQ(run([&] { return console_execute_command(text.c_str()); }), 0);
    EXPECT_EQ(device.read(256, 2000), text + "\r");
    // The echo was left where it was.
    std::string back(echo.size(), '\0');
    ASSERT_EQ(run([&] { return console_read(back.data(), unsigned(back.size())); }), 1);
    EXPECT_EQ(back, echo);
}

TEST_F(ConsoleTest, DeviceThatEchoesNothingKeepsTheCommandWaitingUntilTheClose)
{
    start([] { return console_execute_command("u 0 0 0"); });
    EXPECT_EQ(device.read(8, 2000), "u 0 0 0\r");
    EXPECT_TRUE(still_running_after(longer_than_a_read_ms));
    serial_disconnect_port();
    EXPECT_EQ(result(), 0);
}

TEST_F(ConsoleTest, WriteSendsExactlyItsBytes)
{
    EXPECT_EQ(run([] { return console_write("b\r", 2); }), 1);
    EXPECT_EQ(device.read(3, 300), "b\r");
    EXPECT_EQ(run([] { return console_write("", 0); }), 1);
    EXPECT_EQ(device.read(1, 200), "");
}

TEST_F(ConsoleTest, ReadCollectsItsCountOverSeveralArrivals)
{
    ASSERT_TRUE(device.write("OK"));
    char buffer[5];
    start([&] { return console_read(buffer, 5); });
    EXPECT_TRUE(still_running_after(longer_than_a_read_ms));
    ASSERT_TRUE(device.write("!\r\n"));
    EXPECT_EQ(result(), 1);
    EXPECT_EQ(std::string(buffer, 5), "OK!\r\n");
}

TEST_F(ConsoleTest, CheckSuccessAcceptsOnlyOk)
{
    ASSERT_TRUE(device.write("OKKOok"));
    EXPECT_EQ(run(console_check_success), 1);
    EXPECT_EQ(run(console_check_success), 0);
    EXPECT_EQ(run(console_check_success), 0);
}

TEST_F(ConsoleTest, DeviceUnpluggedMidReadFailsTheRead)
{
    ASSERT_TRUE(device.write("OK"));
    char buffer[8];
    start([&] { return console_read(buffer, 8); });
    EXPECT_TRUE(still_running_after(200));
    device.unplug();
    EXPECT_EQ(result(), 0);
}

TEST_F(ConsoleTest, EveryOperationFailsOnAClosedPort)
{
    ASSERT_TRUE(device.write("\r\n> u\r\nOK"));
    serial_disconnect_port();
    char buffer[2];
    EXPECT_EQ(run(console_synch_with_device), 0);
    EXPECT_EQ(run([] { return console_execute_command("u"); }), 0);
    EXPECT_EQ(run([] { return console_write("b\r", 2); }), 0);
    EXPECT_EQ(run([] { return console_write("", 0); }), 0);
    EXPECT_EQ(run([&] { return console_read(buffer, 2); }), 0);
    EXPECT_EQ(run(console_check_success), 0);
}

}  // namespace
