// The simulator's pseudo-terminal glue: making and removing the device,
// telling when the client opens and closes the port, waiting and sending.
//
// The master side reports POLLHUP while no slave descriptor is open, but only
// after the slave has been opened once; a fresh pseudo-terminal is therefore
// opened and closed once before it is shown. POLLHUP alone would miss a client
// that closes and reopens between two looks, so opens and closes are also
// watched with inotify, which queues them (identical neighbours merged).
#include "devsim_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

const char devsim_success_marker[8] = "OK!\r\n> ";
const char devsim_failure_marker[8] = "KO!\r\n> ";

void devsim_note(devsim *sim, const std::function<void(devsim_status &)> &change, const std::string &line)
{
    std::function<void(const std::string &)> log;
    {
        std::lock_guard<std::mutex> hold(sim->mutex);
        change(sim->status);
        log = sim->options.log;
    }
    sim->changed.notify_all();
    if (log && !line.empty())
        log(line);
}

devsim_options devsim_current_options(devsim *sim)
{
    std::lock_guard<std::mutex> hold(sim->mutex);
    return sim->options;
}

static bool devsim_master_hung_up(devsim *sim)
{
    pollfd master = {sim->master, 0, 0};
    return poll(&master, 1, 0) > 0 && (master.revents & POLLHUP);
}

// Reads the queued opens and closes of the slave; true when a close was
// followed by an open (in this reading or since an earlier one): the client
// left and came back.
static bool devsim_drain_watch(devsim *sim)
{
    bool reopened = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = read(sim->watch_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->wd == sim->watch) {
                if (event->mask & IN_CLOSE) {
                    sim->close_pending = true;
                } else if ((event->mask & IN_OPEN) && sim->close_pending) {
                    sim->close_pending = false;
                    reopened = true;
                }
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return reopened;
}

// Reads the queued opens and closes of the slave and forgets them, with any
// close still waiting for its open: what they told is known otherwise.
static void devsim_forget_watch(devsim *sim)
{
    devsim_drain_watch(sim);
    sim->close_pending = false;
}

static int devsim_ms_until(devsim_clock::time_point deadline)
{
    if (deadline == devsim_clock::time_point::max())
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - devsim_clock::now()).count();
    if (left <= 0)
        return 0;
    return int(std::min<long long>((left + 999) / 1000, INT_MAX));
}

devsim_event devsim_wait_master(devsim *sim, short events, devsim_clock::time_point deadline)
{
    for (;;) {
        int timeout = devsim_ms_until(deadline);
        pollfd fds[3] = {{sim->master, events, 0}, {sim->watch_fd, POLLIN, 0}, {sim->wake, POLLIN, 0}};
        int ready = poll(fds, 3, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return devsim_event::stop;
        }
        if (fds[2].revents)
            return devsim_event::stop;
        // Bytes the client wrote just before it closed are still the
        // device's to read, as a real line delivers them before the close.
        if ((events & POLLIN) && (fds[0].revents & POLLIN))
            return devsim_event::ok;
        if (fds[1].revents || (fds[0].revents & POLLHUP)) {
            bool reopened = devsim_drain_watch(sim);
            if (reopened || devsim_master_hung_up(sim))
                return devsim_event::client_left;
            // Someone else opened and closed the port; the client stays.
        }
        if (fds[0].revents & (POLLERR | POLLNVAL))
            return devsim_event::client_left;
        if (fds[0].revents & events)
            return devsim_event::ok;
        if (ready == 0 && timeout == 0)
            return devsim_event::timeout;
        if (ready == 0 && devsim_ms_until(deadline) == 0)
            return devsim_event::timeout;
    }
}

devsim_event devsim_send(devsim *sim, const void *bytes, size_t count)
{
    auto *from = static_cast<const unsigned char *>(bytes);
    size_t sent = 0;
    while (sent < count) {
        devsim_event waited = devsim_wait_master(sim, POLLOUT, devsim_clock::time_point::max());
        if (waited != devsim_event::ok)
            return waited;
        ssize_t n = write(sim->master, from + sent, count - sent);
        if (n > 0)
            sent += size_t(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return devsim_event::client_left;
    }
    return devsim_event::ok;
}

devsim_event devsim_pause_until(devsim *sim, devsim_clock::time_point until)
{
    devsim_event waited = devsim_wait_master(sim, 0, until);
    return waited == devsim_event::timeout ? devsim_event::ok : waited;
}

devsim_event devsim_pause(devsim *sim, unsigned ms)
{
    return devsim_pause_until(sim, devsim_clock::now() + std::chrono::milliseconds(ms));
}

// The slave starts raw, and is put back to raw after each client, so that
// the device's bytes reach the client unchanged even before it has set the
// line, and nothing is echoed back to the device. Termios calls on the master
// act on the slave.
static void devsim_make_slave_raw(int master)
{
    termios line;
    if (tcgetattr(master, &line) == 0) {
        cfmakeraw(&line);
        cfsetspeed(&line, B921600);
        tcsetattr(master, TCSANOW, &line);
    }
}

static bool devsim_point_link(devsim *sim, const std::string &target, std::string *error)
{
    std::string fresh = sim->link_path + ".new";
    unlink(fresh.c_str());
    if (symlink(target.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), sim->link_path.c_str()) != 0) {
        *error = "cannot make the link " + sim->link_path + ": " + strerror(errno);
        unlink(fresh.c_str());
        return false;
    }
    return true;
}

static bool devsim_make_device(devsim *sim, std::string *error)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char path[PATH_MAX];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, path, sizeof path) != 0) {
        *error = std::string("no pseudo-terminal: ") + strerror(errno);
        if (master >= 0)
            close(master);
        return false;
    }
    devsim_make_slave_raw(master);
    int slave = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0)
        close(slave);   // from now on POLLHUP tells that no client is there
    int watch = inotify_add_watch(sim->watch_fd, path, IN_OPEN | IN_CLOSE);
    if (slave < 0 || watch < 0) {
        *error = std::string("cannot watch ") + path + ": " + strerror(errno);
        close(master);
        return false;
    }
    if (!sim->link_path.empty() && !devsim_point_link(sim, path, error)) {
        inotify_rm_watch(sim->watch_fd, watch);
        close(master);
        return false;
    }
    sim->master = master;
    sim->watch = watch;
    std::string shown = path;
    devsim_note(sim, [&](devsim_status &status) {
        status.pty_path = shown;
        status.generation++;
    }, "device present at " + shown);
    return true;
}

static void devsim_remove_device(devsim *sim)
{
    if (sim->master < 0)
        return;
    if (!sim->link_path.empty())
        unlink(sim->link_path.c_str());
    inotify_rm_watch(sim->watch_fd, sim->watch);
    close(sim->master);
    sim->master = -1;
    sim->watch = -1;
    devsim_forget_watch(sim);
    devsim_note(sim, [](devsim_status &status) {
        status.pty_path.clear();
        status.client_connected = false;
    }, "device away");
}

// A real device's unread bytes die with the USB transfer when the port
// closes; here they would wait in the terminal for the next client. Flushing
// through the master empties only the terminal's queue, not what its line
// discipline holds, so the slave is flushed from a brief open of its own
// (whose open and close the watch then forgets; a client that opened
// meanwhile is still seen, since the master's hang-up state tells).
static void devsim_discard_leftovers(devsim *sim)
{
    tcflush(sim->master, TCIOFLUSH);
    char path[PATH_MAX];
    if (ptsname_r(sim->master, path, sizeof path) == 0) {
        int slave = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (slave >= 0) {
            tcflush(slave, TCIFLUSH);
            close(slave);
        }
        devsim_forget_watch(sim);
    }
    devsim_make_slave_raw(sim->master);
}

// Waits until a client has the port open.
static devsim_event devsim_wait_for_client(devsim *sim)
{
    for (;;) {
        if (!devsim_master_hung_up(sim))
            return devsim_event::ok;
        pollfd fds[2] = {{sim->watch_fd, POLLIN, 0}, {sim->wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            return devsim_event::stop;
        if (fds[1].revents)
            return devsim_event::stop;
        if (fds[0].revents)
            devsim_drain_watch(sim);
    }
}

// Serves clients on the current pseudo-terminal until the device vanishes or
// a stop is asked.
static devsim_event devsim_serve(devsim *sim)
{
    for (;;) {
        if (devsim_wait_for_client(sim) == devsim_event::stop)
            return devsim_event::stop;
        sim->close_pending = false;  // whatever came before belongs to no session
        devsim_note(sim, [](devsim_status &status) {
            status.client_connected = true;
            status.sessions++;
        }, "client opened the port");
        devsim_event ended = devsim_play_session(sim);
        if (ended == devsim_event::client_left)
            devsim_discard_leftovers(sim);
        devsim_note(sim, [](devsim_status &status) { status.client_connected = false; },
                    ended == devsim_event::client_left ? "client closed the port" : "");
        if (ended != devsim_event::client_left)
            return ended;
    }
}

static void devsim_run(devsim *sim)
{
    for (;;) {
        devsim_event ended = devsim_serve(sim);
        devsim_remove_device(sim);
        if (ended == devsim_event::stop)
            return;
        // Away for a moment, as a device that restarts or is plugged back.
        for (;;) {
            pollfd stop = {sim->wake, POLLIN, 0};
            if (poll(&stop, 1, int(devsim_current_options(sim).absent_ms)) > 0)
                return;
            std::string error;
            if (devsim_make_device(sim, &error))
                break;
            devsim_note(sim, [](devsim_status &) {}, error);
        }
    }
}

static void devsim_free(devsim *sim)
{
    if (sim->master >= 0)
        close(sim->master);
    if (sim->watch_fd >= 0)
        close(sim->watch_fd);
    if (sim->wake >= 0)
        close(sim->wake);
    delete sim;
}

devsim *devsim_start(const devsim_options &options, std::string *error)
{
    std::string reason;
    if (!error)
        error = &reason;
    struct stat existing;
    if (!options.link_path.empty() && lstat(options.link_path.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        *error = options.link_path + " exists and is not a symbolic link";
        return nullptr;
    }
    auto *sim = new devsim;
    sim->link_path = options.link_path;
    sim->options = options;
    sim->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    sim->watch_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (sim->wake < 0 || sim->watch_fd < 0) {
        *error = std::string("no event descriptors: ") + strerror(errno);
        devsim_free(sim);
        return nullptr;
    }
    if (!devsim_make_device(sim, error)) {
        devsim_free(sim);
        return nullptr;
    }
    sim->thread = std::thread(devsim_run, sim);
    return sim;
}

void devsim_stop(devsim *sim)
{
    if (sim == nullptr)
        return;
    std::uint64_t one = 1;
    ssize_t ignored = write(sim->wake, &one, sizeof one);
    (void)ignored;
    sim->thread.join();
    devsim_remove_device(sim);
    devsim_free(sim);
}

std::string devsim_port_name(devsim *sim)
{
    if (!sim->link_path.empty())
        return sim->link_path;
    std::lock_guard<std::mutex> hold(sim->mutex);
    return sim->status.pty_path;
}

void devsim_set_options(devsim *sim, const devsim_options &options)
{
    std::lock_guard<std::mutex> hold(sim->mutex);
    std::string link = sim->options.link_path;
    sim->options = options;
    sim->options.link_path = link;
}

devsim_status devsim_get_status(devsim *sim)
{
    std::lock_guard<std::mutex> hold(sim->mutex);
    return sim->status;
}

bool devsim_wait(devsim *sim, const std::function<bool(const devsim_status &)> &until, unsigned timeout_ms)
{
    std::unique_lock<std::mutex> hold(sim->mutex);
    return sim->changed.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&] { return until(sim->status); });
}

bool devsim_wait_for_command(devsim *sim, const std::string &command, unsigned timeout_ms)
{
    return devsim_wait(sim, [&](const devsim_status &status) {
        return std::find(status.commands.begin(), status.commands.end(), command) != status.commands.end();
    }, timeout_ms);
}
