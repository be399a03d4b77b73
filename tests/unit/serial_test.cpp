// The serial link over real pseudo-terminals: the test holds the master side.
#include "link/serial.h"
#include "test_pty.h"

#include <gtest/gtest.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <atomic>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Sends `bytes` through the open port and returns what reached `pty`'s master.
std::string round_trip_to_master(test_pty &pty, const std::string &bytes)
{
    unsigned written = 0;
    EXPECT_EQ(serial_write(bytes.data(), unsigned(bytes.size()), &written), 1);
    EXPECT_EQ(written, bytes.size());
    return pty.read(bytes.size(), 2000);
}

TEST(SerialOpen, NameBelowDevIsOpenedWithDevInFront)
{
    test_pty pty;
    test_folder empty;
    test_working_directory inside(empty.path());

    ASSERT_EQ(serial_connect_and_configure_port(pty.name_below_dev().c_str()), 1);
    EXPECT_EQ(round_trip_to_master(pty, "u 0 0 0\r"), "u 0 0 0\r");
    serial_disconnect_port();
}

TEST(SerialOpen, NameThatOpensUnchangedIsUsedUnchanged)
{
    // "pts/N" names pty B below /dev, but in the working folder it leads to
    // pty A: the first try, the name unchanged, must win.
    test_pty a;
    test_pty b;
    test_folder folder;
    ASSERT_EQ(g_mkdir((folder.path() + "/pts").c_str(), 0700), 0);
    ASSERT_EQ(symlink(a.path().c_str(), (folder.path() + "/" + b.name_below_dev()).c_str()), 0);
    test_working_directory inside(folder.path());

    ASSERT_EQ(serial_connect_and_configure_port(b.name_below_dev().c_str()), 1);
    EXPECT_EQ(round_trip_to_master(a, "x"), "x");
    EXPECT_EQ(b.read(1, 100), "");
    serial_disconnect_port();
}

TEST(SerialOpen, FullPathOpens)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    EXPECT_EQ(round_trip_to_master(pty, "b\r"), "b\r");
    serial_disconnect_port();
}

TEST(SerialOpen, ATerminalGetsItsLineSettingsBackAtTheClose)
{
    // As a terminal a user types in: canonical, echoing, 38400 baud.
    test_pty pty;
    termios cooked;
    ASSERT_EQ(tcgetattr(pty.master(), &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO;
    cfsetispeed(&cooked, B38400);
    cfsetospeed(&cooked, B38400);
    ASSERT_EQ(tcsetattr(pty.master(), TCSANOW, &cooked), 0);

    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    termios during;
    ASSERT_EQ(tcgetattr(pty.master(), &during), 0);
    EXPECT_EQ(cfgetospeed(&during), speed_t(B921600));
    serial_disconnect_port();

    termios after;
    ASSERT_EQ(tcgetattr(pty.master(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), speed_t(B38400));
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
}

TEST(SerialOpen, SecondNameIsDevPrefixUnlessAlreadyThere)
{
    char *second = serial_second_port_name("ttyACM0");
    EXPECT_STREQ(second, "/dev/ttyACM0");
    g_free(second);
    EXPECT_EQ(serial_second_port_name("/dev/ttyACM0"), nullptr);
    EXPECT_EQ(serial_second_port_name("/dev/pts/999999"), nullptr);
}

TEST(SerialOpen, NameFailingBothWaysReturnsZeroAndLeavesNothingOpen)
{
    test_folder empty;
    test_working_directory inside(empty.path());
    int before = test_open_descriptor_count();
    int handle_before = hPort;
    EXPECT_EQ(serial_connect_and_configure_port("COM3"), 0);
    EXPECT_EQ(serial_connect_and_configure_port("/dev/zr7k8-no-such-port"), 0);
    EXPECT_EQ(serial_connect_and_configure_port(""), 0);
    EXPECT_EQ(test_open_descriptor_count(), before);
    EXPECT_EQ(hPort, handle_before);
    unsigned got = 7;
    char byte;
    EXPECT_EQ(serial_read(&byte, 1, &got), 0);
    EXPECT_EQ(got, 0u);
}

TEST(SerialOpen, FileThatIsNoTerminalIsClosedAgain)
{
    test_folder folder;
    std::string path = folder.path() + "/not-a-port";
    ASSERT_TRUE(g_file_set_contents(path.c_str(), "data", -1, nullptr));
    int before = test_open_descriptor_count();
    EXPECT_EQ(serial_connect_and_configure_port(path.c_str()), 0);
    EXPECT_EQ(test_open_descriptor_count(), before);
    serial_disconnect_port();   // nothing to close: harmless
    char byte;
    EXPECT_EQ(serial_read(&byte, 1, nullptr), 0);
}

TEST(SerialOpen, PortLockedElsewhereIsRefused)
{
    test_pty pty;
    int holder = open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 0);
    close(holder);
    EXPECT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    serial_disconnect_port();
}

TEST(SerialOpen, PortMadeExclusiveElsewhereIsRefused)
{
    // The suite may run as root, whom TIOCEXCL alone does not stop.
    test_pty pty;
    int holder = open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    EXPECT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 0);
    ioctl(holder, TIOCNXCL);
    close(holder);
}

TEST(SerialOpen, OpenPortKeepsOthersOut)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    int other = open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (other >= 0) {   // root may open it, but not lock it
        EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
        int exclusive = 0;
        EXPECT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        close(other);
    }
    serial_disconnect_port();
    // Closed, the port is free again, also for this process.
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    serial_disconnect_port();
}

TEST(SerialOpen, LineIsRaw921600EightNOne)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    termios line;
    ASSERT_EQ(tcgetattr(hPort, &line), 0);
    EXPECT_EQ(cfgetospeed(&line), speed_t(B921600));
    EXPECT_EQ(cfgetispeed(&line), speed_t(B921600));
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    // Every byte is data: NUL, CR and XOFF pass unchanged both ways.
    const std::string awkward("\0\r\n\x13\x11\x7f\xff", 7);
    EXPECT_EQ(round_trip_to_master(pty, awkward), awkward);
    ASSERT_TRUE(pty.write(awkward));
    char back[7];
    unsigned got = 0;
    EXPECT_EQ(serial_read(back, 7, &got), 1);
    EXPECT_EQ(std::string(back, got), awkward);
    serial_disconnect_port();
}

TEST(SerialRead, SilentDeviceReturnsSuccessWithNothing)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    char buffer[64];
    unsigned got = 99;
    gint64 start = g_get_monotonic_time();
    EXPECT_EQ(serial_read(buffer, sizeof buffer, &got), 1);
    EXPECT_EQ(got, 0u);
    // Only that it came back at all; the exact time is a benchmark's business.
    EXPECT_LT(g_get_monotonic_time() - start, 10 * G_USEC_PER_SEC);
    serial_disconnect_port();
}

TEST(SerialRead, ReturnsAsSoonAsTheCountHasArrivedAndLeavesTheRest)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    ASSERT_TRUE(pty.write("OK\r\nabc"));
    char buffer[4];
    unsigned got = 0;
    ASSERT_EQ(serial_read(buffer, 4, &got), 1);
    EXPECT_EQ(std::string(buffer, got), "OK\r\n");
    ASSERT_EQ(serial_read(buffer, 4, &got), 1);
    EXPECT_EQ(std::string(buffer, got), "abc");
    serial_disconnect_port();
}

TEST(SerialRead, DeviceUnpluggedMidReadFailsTheRead)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    ASSERT_TRUE(pty.write("ab"));
    std::atomic<int> result{-1};
    unsigned got = 0;
    std::thread reader([&] {
        char buffer[64];
        int ok;
        // Keep reading as a capture would, until a read fails.
        while ((ok = serial_read(buffer, sizeof buffer, &got)) == 1) {
        }
        result = ok;
    });
    g_usleep(100 * 1000);
    pty.unplug();
    reader.join();
    EXPECT_EQ(result.load(), 0);
    char byte;
    EXPECT_EQ(serial_write(&byte, 1, nullptr), 0);
    serial_disconnect_port();
}

TEST(SerialWrite, DeviceThatDoesNotReadGetsPartOfALargeWrite)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    std::string large(1 << 20, 'x');
    unsigned written = 0;
    EXPECT_EQ(serial_write(large.data(), unsigned(large.size()), &written), 1);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, large.size());
    EXPECT_EQ(serial_write(large.data(), 0, &written), 1);
    EXPECT_EQ(written, 0u);
    serial_disconnect_port();
}

// A USB serial port's last close can wait up to 30 s for output the device
// does not take. A pseudo-terminal has no such wait and holds no output of
// its own (what it cannot pass on is refused at write), so it cannot show
// that wait; it shows that a close under a stalled reader with a full queue
// does not wait for the reader, and leaves the port free.
TEST(SerialClose, CloseWithAFullQueueNobodyReadsReturns)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    std::string large(1 << 20, 'x');
    unsigned written = 0;
    ASSERT_EQ(serial_write(large.data(), unsigned(large.size()), &written), 1);
    ASSERT_LT(written, large.size());
    EXPECT_EQ(serial_wait_until_sent(), 1);  // nothing held back by the pty itself

    std::atomic<bool> closed{false};
    std::thread interface_thread([&] {
        serial_disconnect_port();
        closed = true;
    });
    const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!closed && g_get_monotonic_time() < deadline)
        g_usleep(1000);
    if (!closed) {
        interface_thread.detach();
        FAIL() << "the close did not return";
    }
    interface_thread.join();
    EXPECT_EQ(serial_wait_until_sent(), 0);
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    serial_disconnect_port();
}

TEST(SerialClose, RepeatedClosesAndCloseBeforeOpenAreHarmless)
{
    serial_disconnect_port();
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    serial_disconnect_port();
    serial_disconnect_port();
    serial_disconnect_port();
    char byte = 'x';
    EXPECT_EQ(serial_read(&byte, 1, nullptr), 0);
    EXPECT_EQ(serial_write(&byte, 1, nullptr), 0);
    EXPECT_EQ(serial_write(&byte, 0, nullptr), 0);
    EXPECT_EQ(pty.read(1, 100), "");
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    EXPECT_EQ(round_trip_to_master(pty, "y"), "y");
    serial_disconnect_port();
}

TEST(SerialClose, CloseFromAnotherThreadFailsABlockedReaderAndStaleHandleReachesNoLaterFile)
{
    test_pty pty;
    test_folder folder;
    std::atomic<int> opened{-1};
    std::atomic<int> result{-1};
    // As in the client: the worker opens and reads, the interface thread closes.
    std::thread worker([&] {
        opened = serial_connect_and_configure_port(pty.path().c_str());
        char buffer[64];
        int ok;
        // Waiting for a silent device: empty reads, over and over.
        while ((ok = serial_read(buffer, sizeof buffer, nullptr)) == 1) {
        }
        result = ok;
    });
    while (opened.load() == -1)
        g_usleep(1000);
    ASSERT_EQ(opened.load(), 1);
    int stale = hPort;
    g_usleep(50 * 1000);   // usually inside its first read by now
    serial_disconnect_port();
    worker.join();
    EXPECT_EQ(result.load(), 0);

    // Files opened after the close never get the stale number...
    std::string path = folder.path() + "/later";
    ASSERT_TRUE(g_file_set_contents(path.c_str(), "precious", -1, nullptr));
    int later = open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(later, 0);
    EXPECT_NE(later, stale);
    test_pty next;
    ASSERT_EQ(serial_connect_and_configure_port(next.path().c_str()), 1);
    EXPECT_NE(hPort, stale);
    serial_disconnect_port();

    // ...and whatever the stale number reaches now, it is not that file.
    char buffer[16];
    ssize_t n = read(stale, buffer, sizeof buffer);
    EXPECT_LE(n, 0);
    EXPECT_EQ(lseek(later, 0, SEEK_CUR), 0);
    close(later);
    char *contents = nullptr;
    ASSERT_TRUE(g_file_get_contents(path.c_str(), &contents, nullptr, nullptr));
    EXPECT_STREQ(contents, "precious");
    g_free(contents);
}

TEST(SerialClose, CloseFromAnotherThreadFailsAWriterThatTheDeviceStalled)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    std::atomic<int> result{-1};
    std::thread worker([&] {
        std::string large(1 << 16, 'x');
        int ok;
        while ((ok = serial_write(large.data(), unsigned(large.size()), nullptr)) == 1) {
        }
        result = ok;
    });
    g_usleep(50 * 1000);
    serial_disconnect_port();
    worker.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(SerialClose, PortClosedUnderAReaderIsFreeForOthers)
{
    // A pseudo-terminal keeps its exclusive flag past the close: the close
    // must clear it, and drop the lock, or nobody could open it again.
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    std::thread worker([] {
        char buffer[64];
        while (serial_read(buffer, sizeof buffer, nullptr) == 1) {
        }
    });
    g_usleep(50 * 1000);
    serial_disconnect_port();
    worker.join();
    int other = open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    int exclusive = 1;
    EXPECT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(other);
}

}  // namespace
