// A close that lands between the link's ready wait and its write() call.
//
// This program is linked with --wrap=write, so every write() of the core
// passes through __wrap_write below; a test arms it to close the port just
// before the next write() to the port's descriptor, which puts the
// /dev/null placeholder under the number at exactly that moment. The close
// runs on the writing thread here; on the interface thread, as in the
// program, it does the same to the descriptor.
#include "link/serial.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <unistd.h>

extern "C" ssize_t __real_write(int fd, const void *buffer, size_t count);

namespace {

// The descriptor whose next write() this thread precedes with a close, or -1.
thread_local int close_before_write_to = -1;

}  // namespace

extern "C" ssize_t __wrap_write(int fd, const void *buffer, size_t count)
{
    if (fd >= 0 && fd == close_before_write_to) {
        close_before_write_to = -1;
        serial_disconnect_port();
    }
    return __real_write(fd, buffer, count);
}

namespace {

TEST(SerialCloseRace, WriteWhosePortIsClosedJustBeforeTheBytesGoOutFails)
{
    test_pty pty;
    ASSERT_EQ(serial_connect_and_configure_port(pty.path().c_str()), 1);
    close_before_write_to = hPort;
    unsigned written = 99;
    EXPECT_EQ(serial_write("b\r", 2, &written), 0);
    EXPECT_EQ(close_before_write_to, -1) << "the write never reached write()";
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(pty.read(2, 200), "");
}

}  // namespace
