#include "test_pty.h"

#include <gtest/gtest.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

test_pty::test_pty()
{
    master_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_fd < 0 || grantpt(master_fd) != 0 || unlockpt(master_fd) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << strerror(errno);
        return;
    }
    char name[PATH_MAX];
    if (ptsname_r(master_fd, name, sizeof name) != 0) {
        ADD_FAILURE() << "no slave name: " << strerror(errno);
        return;
    }
    slave_path = name;
    // Termios calls on the master act on the slave.
    termios line;
    if (tcgetattr(master_fd, &line) == 0) {
        cfmakeraw(&line);
        tcsetattr(master_fd, TCSANOW, &line);
    }
}

test_pty::~test_pty()
{
    unplug();
}

std::string test_pty::name_below_dev() const
{
    return slave_path.substr(strlen("/dev/"));
}

bool test_pty::write(const std::string &bytes)
{
    size_t sent = 0;
    gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
    while (sent < bytes.size()) {
        if (g_get_monotonic_time() > deadline)
            return false;
        pollfd ready = {master_fd, POLLOUT, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        ssize_t n = ::write(master_fd, bytes.data() + sent, bytes.size() - sent);
        if (n > 0)
            sent += size_t(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
    return true;
}

std::string test_pty::read(size_t count, int timeout_ms)
{
    std::string got;
    gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (got.size() < count) {
        gint64 left = deadline - g_get_monotonic_time();
        if (left <= 0)
            break;
        pollfd ready = {master_fd, POLLIN, 0};
        if (poll(&ready, 1, int((left + 999) / 1000)) <= 0)
            continue;
        if (!(ready.revents & POLLIN))
            break;   // hang-up without data: no client
        char buffer[4096];
        size_t want = count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer;
        ssize_t n = ::read(master_fd, buffer, want);
        if (n > 0)
            got.append(buffer, size_t(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return got;
}

void test_pty::unplug()
{
    if (master_fd >= 0)
        close(master_fd);
    master_fd = -1;
}

int test_open_descriptor_count()
{
    int count = 0;
    DIR *folder = opendir("/proc/self/fd");
    if (folder == nullptr)
        return -1;
    while (dirent *entry = readdir(folder))
        if (entry->d_name[0] != '.')
            count++;
    closedir(folder);
    return count - 1;   // the listing's own descriptor
}

static void remove_pty_tree(const std::string &path)
{
    if (GDir *folder = g_dir_open(path.c_str(), 0, nullptr)) {
        while (const char *name = g_dir_read_name(folder)) {
            std::string child = path + "/" + name;
            if (g_file_test(child.c_str(), G_FILE_TEST_IS_DIR) &&
                !g_file_test(child.c_str(), G_FILE_TEST_IS_SYMLINK))
                remove_pty_tree(child);
            else
                g_unlink(child.c_str());
        }
        g_dir_close(folder);
    }
    g_rmdir(path.c_str());
}

test_folder::test_folder()
{
    char *made = g_dir_make_tmp("zr7k8-test-XXXXXX", nullptr);
    if (made == nullptr)
        ADD_FAILURE() << "no temporary folder";
    else
        folder = made;
    g_free(made);
}

test_folder::~test_folder()
{
    if (!folder.empty())
        remove_pty_tree(folder);
}

test_working_directory::test_working_directory(const std::string &folder)
{
    char *current = g_get_current_dir();
    previous = current;
    g_free(current);
    if (chdir(folder.c_str()) != 0)
        ADD_FAILURE() << "cannot enter " << folder;
}

test_working_directory::~test_working_directory()
{
    if (chdir(previous.c_str()) != 0)
        ADD_FAILURE() << "cannot return to " << previous;
}

std::string test_folder_listing(const std::string &folder)
{
    std::vector<std::string> names;
    if (GDir *dir = g_dir_open(folder.c_str(), 0, nullptr)) {
        while (const char *name = g_dir_read_name(dir))
            names.push_back(name);
        g_dir_close(dir);
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}
