#include "link/serial.h"

#include "thread_annotations.h"
#include "translate.h"

#include <glib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

int hPort = -1;

// Every read and write returns this long after it started, at the latest.
static std::atomic<int> timeout_ms{SERIAL_TIMEOUT_MS};

void serial_set_timeout(unsigned milliseconds)
{
    timeout_ms.store(int(milliseconds));
}

static gint64 serial_timeout_us()
{
    return timeout_ms.load() * G_GINT64_CONSTANT(1000);
}

// How often serial_wait_until_sent looks at the output queue.
static const int drain_check_ms = 2;

static int connection_established = 0;
static GMutex g__connection_established_lock;

// The open port as readers and writers see it: its descriptor and the event
// descriptor that a close signals, packed so that both change in one step.
// port_closed while no port is open.
static const std::uint64_t port_closed = UINT64_MAX;
static std::atomic<std::uint64_t> live_port{port_closed};

// Reads and writes in progress. A descriptor of a closed port is only given
// back to the system when none is, since one may still hold its number.
static std::atomic<unsigned> io_in_flight{0};

// Descriptors of closed ports (now on /dev/null) and their event descriptors,
// kept so that their numbers stay taken until the next port has opened.
// Guarded by g__connection_established_lock.
static std::vector<int> retired_descriptors;

// The open port's line settings as they were before it was configured, put
// back when it is let go: a terminal given by mistake (/dev/tty) is left as
// it was, not raw at 921600 baud. Guarded by the connection lock.
static termios line_before_open;
static bool line_before_open_known = false;

// Why the last open failed, for people ("PATH: reason"); null after a
// success. Written by the opening thread, read by any: its own lock.
static GMutex open_failure_lock;
static gchar *open_failure = nullptr;

static void serial_set_open_failure(gchar *text)
{
    g_mutex_lock(&open_failure_lock);
    g_free(open_failure);
    open_failure = text;
    g_mutex_unlock(&open_failure_lock);
}

// A failure of the port at path: `reason` when given (a fixed text), else
// the system's text for error_number.
static void serial_note_failure(const char *path, const char *reason, int error_number)
{
    serial_set_open_failure(g_strdup_printf("%s: %s", path, reason ? _(reason) : g_strerror(error_number)));
}

struct port_view {
    int fd;
    int wake;
};

static std::uint64_t port_pack(int fd, int wake)
{
    return (std::uint64_t(std::uint32_t(fd)) << 32) | std::uint32_t(wake);
}

static port_view port_unpack(std::uint64_t packed)
{
    return {int(std::uint32_t(packed >> 32)), int(std::uint32_t(packed))};
}

namespace {

struct io_call {
    io_call() { io_in_flight.fetch_add(1); }
    ~io_call() { io_in_flight.fetch_sub(1); }
    io_call(const io_call &) = delete;
    io_call &operator=(const io_call &) = delete;
};

enum class wait_result { ready, timed_out, failed };

}  // namespace

static int milliseconds_until(gint64 deadline)
{
    gint64 left = deadline - g_get_monotonic_time();
    return left <= 0 ? 0 : int((left + 999) / 1000);
}

// Bytes the driver of `fd` still holds for the device, or -1 when it cannot
// tell (the descriptor is no terminal any more).
static int serial_output_queued(int fd)
{
    int queued = 0;
    return ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : -1;
}

// Waits until the port of `snapshot` reports `events`. Fails when the port is
// closed meanwhile (its event descriptor wakes the wait) or reports a hang-up
// or an error; times out at `deadline` (monotonic microseconds). With
// `deadline_just_taken`, the first wait runs the whole time-out without a
// second look at the clock: a fast stream makes one wait per read.
static wait_result port_wait(std::uint64_t snapshot, short events, gint64 deadline, bool deadline_just_taken)
{
    port_view view = port_unpack(snapshot);
    for (;;) {
        if (live_port.load() != snapshot)
            return wait_result::failed;
        int timeout = deadline_just_taken ? timeout_ms.load() : milliseconds_until(deadline);
        deadline_just_taken = false;
        pollfd fds[2] = {{view.fd, events, 0}, {view.wake, POLLIN, 0}};
        int ready = poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return wait_result::failed;
        }
        if (live_port.load() != snapshot || fds[1].revents != 0)
            return wait_result::failed;
        if (ready == 0) {
            if (timeout == 0 || milliseconds_until(deadline) == 0)
                return wait_result::timed_out;
            continue;
        }
        short got = fds[0].revents;
        if (got & (POLLERR | POLLNVAL))
            return wait_result::failed;
        if (got & events)
            return wait_result::ready;
        if (got & POLLHUP)
            return wait_result::failed;
    }
}

// A stream that comes faster than it is read has bytes waiting at each
// read: serial_read_some then reads before it waits, which spares the wait's
// call. A read that finds nothing (the stream comes at its own pace, or has
// paused) costs a call, so after one the next reads wait first. Only the
// reading thread uses it.
static const unsigned reads_waiting_first = 16;
static thread_local unsigned reads_before_next_try = 0;

// serial_read_some's read before the wait: 1 with *moved bytes when some
// were waiting, 0 when the port was closed meanwhile, -1 when the wait must
// tell (nothing there, or a failure the wait reports as such).
static int read_waiting_bytes(int fd, std::uint64_t snapshot, unsigned char *bytes, unsigned count, unsigned *moved)
{
    if (reads_before_next_try > 0) {
        --reads_before_next_try;
        return -1;
    }
    ssize_t n = read(fd, bytes, count);
    if (live_port.load() != snapshot)
        return 0;
    if (n > 0) {
        if (moved)
            *moved = unsigned(n);
        return 1;
    }
    reads_before_next_try = reads_waiting_first;
    return -1;
}

// Moves up to `count` bytes between the port and `bytes` (reading when
// `reading`), until all have moved (or, with `some`, until any have) or the
// time-out has passed; *moved tells how many did. Returns 1, or 0 when the port is
// closed or the device is gone.
static int port_transfer(bool reading, unsigned char *bytes, unsigned count, unsigned *moved, bool some = false)
{
    if (moved)
        *moved = 0;
    io_call call;
    std::uint64_t snapshot = live_port.load();
    if (snapshot == port_closed || (bytes == nullptr && count > 0))
        return 0;

    int fd = port_unpack(snapshot).fd;
    if (count == 0) {
        ssize_t n = reading ? read(fd, bytes, 0) : write(fd, bytes, 0);
        return n < 0 || live_port.load() != snapshot ? 0 : 1;
    }
    if (reading && some) {
        const int waiting = read_waiting_bytes(fd, snapshot, bytes, count, moved);
        if (waiting >= 0)
            return waiting;
    }

    gint64 deadline = g_get_monotonic_time() + serial_timeout_us();
    unsigned done = 0;
    int result = 1;
    bool first_wait = true;
    while (done < count) {
        wait_result waited = port_wait(snapshot, reading ? POLLIN : POLLOUT, deadline, first_wait);
        first_wait = false;
        if (waited == wait_result::timed_out)
            break;
        if (waited == wait_result::failed) {
            result = 0;
            break;
        }
        ssize_t n = reading ? read(fd, bytes + done, count - done) : write(fd, bytes + done, count - done);
        if (live_port.load() != snapshot) {
            // Closed between the wait and the transfer: the bytes may have
            // gone to the /dev/null placeholder and not to the device.
            result = 0;
            break;
        }
        if (n > 0) {
            done += unsigned(n);
            if (some)
                break;
        } else if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        } else if (n < 0 || reading) {
            // EIO, or ready to read yet at end of file: the device is gone.
            result = 0;
            break;
        }
    }
    if (moved)
        *moved = done;
    return result;
}

int serial_read(void *buffer, unsigned count, unsigned *received)
{
    return port_transfer(true, static_cast<unsigned char *>(buffer), count, received);
}

int serial_read_some(void *buffer, unsigned count, unsigned *received)
{
    return port_transfer(true, static_cast<unsigned char *>(buffer), count, received, true);
}

int serial_write(const void *buffer, unsigned count, unsigned *written)
{
    // The buffer is only read from when writing.
    return port_transfer(false, static_cast<unsigned char *>(const_cast<void *>(buffer)), count, written);
}

int serial_wait_until_sent(void)
{
    io_call call;
    std::uint64_t snapshot = live_port.load();
    if (snapshot == port_closed)
        return 0;
    port_view view = port_unpack(snapshot);
    gint64 deadline = g_get_monotonic_time() + serial_timeout_us();
    for (;;) {
        int queued = serial_output_queued(view.fd);
        if (queued < 0 || live_port.load() != snapshot)
            return 0;
        if (queued == 0)
            return 1;
        int timeout = std::min(milliseconds_until(deadline), drain_check_ms);
        if (timeout == 0)
            return 0;
        // A close signals the event descriptor and ends the wait at once.
        pollfd wake = {view.wake, POLLIN, 0};
        if (poll(&wake, 1, timeout) > 0)
            return 0;
    }
}

char *serial_second_port_name(const char *name)
{
    if (name == nullptr || g_str_has_prefix(name, "/dev/"))
        return nullptr;
    return g_strconcat("/dev/", name, nullptr);
}

static int serial_open_path(const char *path)
{
    int fd;
    do {
        fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A device without modem lines (a pseudo-terminal) answers these.
static bool serial_lacks_modem_lines(int error)
{
    return error == ENOTTY || error == EINVAL;
}

// The line settings read back differ from those set.
static const char line_not_taken[] = N_("the port does not take 921600 baud 8N1 without flow control");
static const char port_in_use[] = N_("in use by another program");

// Puts the line settings on the port and reads them back. On failure,
// *reason is a fixed text, or null with errno telling why.
static bool serial_set_line(int fd, const char **reason)
{
    *reason = nullptr;
    termios line;
    if (tcgetattr(fd, &line) != 0)
        return false;
    cfmakeraw(&line);
    line.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (cfsetispeed(&line, B921600) != 0 || cfsetospeed(&line, B921600) != 0)
        return false;
    if (tcsetattr(fd, TCSANOW, &line) != 0)
        return false;

    // tcsetattr succeeds when any one change took effect; check what matters.
    termios now;
    if (tcgetattr(fd, &now) != 0)
        return false;
    const tcflag_t cflags = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    const tcflag_t iflags = IXON | IXOFF | IXANY | INPCK | ISTRIP | ICRNL | INLCR | IGNCR | PARMRK;
    const tcflag_t lflags = ICANON | ECHO | ISIG | IEXTEN;
    *reason = line_not_taken;
    return cfgetospeed(&now) == B921600 && cfgetispeed(&now) == B921600 &&
           (now.c_cflag & cflags) == (line.c_cflag & cflags) &&
           (now.c_iflag & iflags) == 0 && (now.c_lflag & lflags) == 0 &&
           (now.c_oflag & OPOST) == 0 && now.c_cc[VMIN] == 0 && now.c_cc[VTIME] == 0;
}

// Takes the port for this process alone and configures it. On failure the
// exclusive flag that this call set is cleared again (a pseudo-terminal keeps
// it past the close), the reason is noted for path, and the caller closes the
// descriptor.
static bool serial_configure(int fd, const char *path)
{
    // flock keeps out every other client that locks, root included, whom
    // TIOCEXCL does not stop; TIOCEXCL keeps out unprivileged openers that
    // do not lock. A port that someone else made exclusive is theirs.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        serial_note_failure(path, errno == EWOULDBLOCK ? port_in_use : nullptr, errno);
        return false;
    }
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        serial_note_failure(path, port_in_use, 0);
        return false;
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        serial_note_failure(path, nullptr, errno);
        return false;
    }

    const char *reason = nullptr;
    bool configured = serial_set_line(fd, &reason);
    if (configured) {
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (ioctl(fd, TIOCMBIS, &lines) != 0 && !serial_lacks_modem_lines(errno)) {
            reason = nullptr;
            configured = false;
        }
    }
    if (!configured) {
        serial_note_failure(path, reason, errno);
        ioctl(fd, TIOCNXCL);
    }
    return configured;
}

// Closes the retired descriptors when no read or write can still use their
// numbers. Called with the lock held.
static void serial_reap_retired(void)
{
    if (io_in_flight.load() != 0)
        return;
    for (int fd : retired_descriptors)
        close(fd);
    retired_descriptors.clear();
}

static gpointer serial_close_thread(gpointer descriptor)
{
    close(GPOINTER_TO_INT(descriptor));
    return nullptr;
}

// Closes `fd`, the last descriptor of a port, without waiting for the device.
// The last close of a terminal waits until the output its driver holds has
// gone out, up to the driver's closing_wait (30 s for a USB serial port that
// nobody reads). That output is discarded first; what the driver has already
// passed on stays delivered (on a pseudo-terminal a discard would take back
// bytes the other side has not read yet, such as a command written just
// before the close). Should the driver still count bytes in flight, the close
// happens on a thread of its own.
static void serial_release(int fd)
{
    if (serial_output_queued(fd) > 0)
        tcflush(fd, TCOFLUSH);
    if (serial_output_queued(fd) > 0) {
        GThread *closer = g_thread_try_new("port-close", serial_close_thread, GINT_TO_POINTER(fd), nullptr);
        if (closer) {
            g_thread_unref(closer);
            return;
        }
    }
    close(fd);
}

// Takes the port of `view` out of use: wakes whoever waits on it, gives the
// device up for others at once, and puts /dev/null under its number, which
// stays taken. The device itself is let go through a second descriptor taken
// before that, after the number no longer leads to it, so that no write can
// queue output behind the discard. Never waits for the device. Called with
// the lock held, after live_port was cleared.
static void serial_retire(port_view view)
{
    std::uint64_t one = 1;
    ssize_t ignored = write(view.wake, &one, sizeof one);
    (void)ignored;
    ioctl(view.fd, TIOCNXCL);
    flock(view.fd, LOCK_UN);
    // Without a second descriptor the number is the last one: discard now.
    int device = fcntl(view.fd, F_DUPFD_CLOEXEC, 0);
    if (device < 0 && serial_output_queued(view.fd) > 0)
        tcflush(view.fd, TCOFLUSH);
    int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd >= 0) {
        // Should dup2 fail, the device stays open under its number until the
        // next open reaps it: later than wished, but never another file.
        (void)dup2(null_fd, view.fd);
        close(null_fd);
        retired_descriptors.push_back(view.fd);
    } else if (io_in_flight.load() == 0) {
        // No /dev/null: with no read or write under way the number may go.
        close(view.fd);
    } else {
        retired_descriptors.push_back(view.fd);
    }
    retired_descriptors.push_back(view.wake);
    if (device >= 0) {
        if (line_before_open_known)
            tcsetattr(device, TCSANOW, &line_before_open);
        serial_release(device);
    }
    line_before_open_known = false;
}

int serial_connect_and_configure_port(const char *name)
{
    if (name == nullptr)
        return 0;
    const char *path = name;
    int fd = serial_open_path(name);
    char *second = nullptr;
    if (fd < 0) {
        // The reason told: the name's own, unless it names no file and is
        // not a path from the root, when it mostly meant the one in /dev.
        const int first_error = errno;
        second = serial_second_port_name(name);
        if (second) {
            fd = serial_open_path(second);
            if (fd >= 0 || (first_error == ENOENT && name[0] != '/'))
                path = second;
        }
        if (fd < 0) {
            serial_note_failure(path, nullptr, path == name ? first_error : errno);
            g_free(second);
            return 0;
        }
    }
    termios line_before;
    const bool line_known = tcgetattr(fd, &line_before) == 0;
    if (!serial_configure(fd, path)) {
        if (line_known)
            tcsetattr(fd, TCSANOW, &line_before);
        close(fd);
        g_free(second);
        return 0;
    }
    int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        serial_note_failure(path, nullptr, errno);
        ioctl(fd, TIOCNXCL);
        close(fd);
        g_free(second);
        return 0;
    }
    g_free(second);
    serial_set_open_failure(nullptr);

    annotated_mutex_lock(&g__connection_established_lock);
    if (connection_established) {
        // Only one operation runs at a time, so this does not happen; if it
        // did, the earlier port would otherwise stay open for ever.
        port_view earlier = port_unpack(live_port.exchange(port_closed));
        serial_retire(earlier);
    }
    hPort = fd;
    line_before_open = line_before;
    line_before_open_known = line_known;
    live_port.store(port_pack(fd, wake));
    connection_established = 1;
    serial_reap_retired();
    annotated_mutex_unlock(&g__connection_established_lock);
    return 1;
}

char *serial_open_failure_text(void)
{
    g_mutex_lock(&open_failure_lock);
    char *text = g_strdup(open_failure);
    g_mutex_unlock(&open_failure_lock);
    return text;
}

void serial_disconnect_port(void)
{
    annotated_mutex_lock(&g__connection_established_lock);
    if (connection_established) {
        port_view view = port_unpack(live_port.exchange(port_closed));
        serial_retire(view);
        connection_established = 0;
    }
    annotated_mutex_unlock(&g__connection_established_lock);
}
