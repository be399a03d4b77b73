#include "device/firmware.h"

#include "device/firmware_stand_in_marker.h"
#include "link/serial.h"
#include "staged_file.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <vector>

#include <linux/major.h>
#include <poll.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

const char firmware[] = {
#include "firmware_image.inc"
    '\0'};
const gsize firmware_length = sizeof firmware - 1;

namespace {

// Only the configuration file has to be in the working directory on this
// platform; avrdude itself comes from PATH.
const char *const side_files[] = {"avrdude.conf"};

const char programmer_command_format[] = "avrdude -Cavrdude.conf -v -pm32u4 -cavr109 -P%s -b57600 -D %s";

// The file firmware_save_firmware wrote, until firmware_unlink_firmware.
gchar *image_file_path = nullptr;
// Its entry among the files a signal or an exit removes (staged_file.h).
int image_file_slot = -1;

// Longest single wait while the programmer runs when no process descriptor is
// available; with one, the wait ends as soon as the programmer does.
const int fallback_poll_ms = 20;

// Waits until the child ends or the monotonic deadline passes. Returns 1 with
// *status filled when it was reaped, 0 at the deadline, -1 when waitpid fails.
int wait_for_child(GPid pid, int pid_fd, gint64 deadline_us, int *status)
{
    for (;;) {
        const pid_t reaped = waitpid(pid, status, WNOHANG);
        if (reaped == pid)
            return 1;
        if (reaped < 0 && errno != EINTR)
            return -1;
        const gint64 remaining_us = deadline_us - g_get_monotonic_time();
        if (remaining_us <= 0)
            return 0;
        int wait_ms = static_cast<int>((remaining_us + 999) / 1000);
        if (pid_fd >= 0) {
            pollfd ready = {pid_fd, POLLIN, 0};
            poll(&ready, 1, wait_ms);
        } else {
            g_usleep(static_cast<gulong>(MIN(wait_ms, fallback_poll_ms)) * 1000);
        }
    }
}

// Ends a programmer that overran its bound: a polite request first, then a
// kill, then a blocking reap so that no zombie or stray process remains.
void end_child(GPid pid, int pid_fd, int *status)
{
    kill(pid, SIGTERM);
    const gint64 deadline = g_get_monotonic_time() + gint64{FIRMWARE_PROGRAMMER_GRACE_MS} * 1000;
    if (wait_for_child(pid, pid_fd, deadline, status) == 1)
        return;
    kill(pid, SIGKILL);
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

// The byte written as two hex digits at `digits`, or -1 when they are not hex.
int hex_byte(const char *digits)
{
    const int high = g_ascii_xdigit_value(digits[0]);
    const int low = g_ascii_xdigit_value(digits[1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// The data bytes of the data records of Intel HEX text, in the order the
// records appear; lines that are no well-formed data record are skipped.
std::vector<unsigned char> hex_data_bytes(const char *text, gsize length)
{
    const gsize header = 9;  // ':', count, address, type
    std::vector<unsigned char> bytes;
    std::string_view rest(text, length);
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        if (line.size() < header || line[0] != ':' || hex_byte(&line[7]) != 0x00)
            continue;
        const int count = hex_byte(&line[1]);
        if (count < 0 || line.size() < header + 2 * gsize(count))
            continue;
        for (int i = 0; i < count; ++i) {
            const int value = hex_byte(&line[header + 2 * gsize(i)]);
            if (value < 0)
                break;
            bytes.push_back(static_cast<unsigned char>(value));
        }
    }
    return bytes;
}

}  // namespace

int firmware_text_is_stand_in(const char *text, gsize length)
{
    const std::vector<unsigned char> bytes = hex_data_bytes(text, length);
    const std::string_view marker = FIRMWARE_STAND_IN_MARKER;
    return std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end()) != bytes.end() ? 1 : 0;
}

int firmware_image_is_stand_in(void)
{
    static const int stand_in = firmware_text_is_stand_in(firmware, firmware_length);
    return stand_in;
}

int firmware_port_is_pseudo_terminal(const char *bootloader_port)
{
    if (bootloader_port == nullptr || bootloader_port[0] == '\0')
        return 0;
    char *path = firmware_bootloader_port_path(bootloader_port);
    struct stat status;
    // stat follows every symbolic link, so the device itself is judged.
    const bool pseudo_terminal = stat(path, &status) == 0 && S_ISCHR(status.st_mode) &&
                                 major(status.st_rdev) >= UNIX98_PTY_SLAVE_MAJOR &&
                                 major(status.st_rdev) < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT;
    g_free(path);
    return pseudo_terminal ? 1 : 0;
}

int firmware_flashing_allowed(const char *bootloader_port)
{
    return !firmware_image_is_stand_in() || firmware_port_is_pseudo_terminal(bootloader_port) ? 1 : 0;
}

int firmware_save_firmware(void)
{
    firmware_unlink_firmware();
    // TMPDIR is read at every update, not once per process as
    // g_get_tmp_dir() does, so the folder follows the environment.
    const char *folder = g_getenv("TMPDIR");
    gchar *path = g_build_filename(folder && *folder ? folder : "/tmp", "zr7k8lc32u4-XXXXXX.hex", nullptr);
    // Removed by any signal that ends the program, as a staged file is.
    int slot = -1;
    const int fd = staged_file_make_temporary(path, 0600, &slot);
    if (fd < 0) {
        g_free(path);
        return 0;
    }
    gsize written = 0;
    while (written < firmware_length) {
        const ssize_t now = write(fd, firmware + written, firmware_length - written);
        if (now < 0 && errno == EINTR)
            continue;
        if (now <= 0)
            break;
        written += static_cast<gsize>(now);
    }
    const bool complete = written == firmware_length && close(fd) == 0;
    if (!complete) {
        if (written != firmware_length)
            close(fd);
        g_unlink(path);
        staged_file_forget_temporary(slot);
        g_free(path);
        return 0;
    }
    image_file_path = path;
    image_file_slot = slot;
    return 1;
}

const char *firmware_image_file_path(void)
{
    return image_file_path;
}

void firmware_unlink_firmware(void)
{
    if (!image_file_path)
        return;
    g_unlink(image_file_path);
    staged_file_forget_temporary(image_file_slot);
    image_file_slot = -1;
    g_free(image_file_path);
    image_file_path = nullptr;
}

int firmware_side_files_present(void)
{
    for (const char *name : side_files) {
        if (!g_file_test(name, G_FILE_TEST_EXISTS))
            return 0;
    }
    return 1;
}

char *firmware_bootloader_port_path(const char *port)
{
    if (g_file_test(port, G_FILE_TEST_EXISTS))
        return g_strdup(port);
    char *second = serial_second_port_name(port);
    return second ? second : g_strdup(port);
}

char *firmware_programmer_command_line(const char *bootloader_port, const char *image_path)
{
    char *path = firmware_bootloader_port_path(bootloader_port);
    char *quoted = g_shell_quote(path);
    char *operation = g_strdup_printf("-Uflash:w:%s:i", image_path);
    char *quoted_operation = g_shell_quote(operation);
    char *line = g_strdup_printf(programmer_command_format, quoted, quoted_operation);
    g_free(quoted_operation);
    g_free(operation);
    g_free(quoted);
    g_free(path);
    return line;
}

GPid firmware_start_programmer(const char *bootloader_port)
{
    if (!firmware_flashing_allowed(bootloader_port) || !image_file_path)
        return 0;
    char *line = firmware_programmer_command_line(bootloader_port, image_file_path);
    char **argv = nullptr;
    GPid pid = 0;
    // Standard input is /dev/null, standard output and error are ours, and
    // GLib closes every other descriptor (the device port among them) in the
    // child. The programmer gets a process group of its own, so a Ctrl-C
    // typed at the terminal that started us does not cut a flash write short.
    const gboolean spawned =
        g_shell_parse_argv(line, nullptr, &argv, nullptr) &&
        g_spawn_async(nullptr, argv, nullptr,
                      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                      [](gpointer) { setpgid(0, 0); }, nullptr, &pid, nullptr);
    g_strfreev(argv);
    g_free(line);
    return spawned ? pid : 0;
}

int firmware_finish_programmer(GPid pid, unsigned time_limit_ms, firmware_programmer_outcome *outcome)
{
    firmware_programmer_outcome result = {};
    result.started = 1;
    const int pid_fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    const gint64 deadline = g_get_monotonic_time() + gint64{time_limit_ms} * 1000;
    int status = 0;
    int waited = wait_for_child(pid, pid_fd, deadline, &status);
    if (waited == 0) {
        result.timed_out = 1;
        end_child(pid, pid_fd, &status);
        waited = 1;
    }
    if (pid_fd >= 0)
        close(pid_fd);
    if (waited == 1 && WIFEXITED(status)) {
        result.exited = 1;
        result.exit_status = WEXITSTATUS(status);
    } else if (waited == 1 && WIFSIGNALED(status)) {
        result.signal_number = WTERMSIG(status);
    }
    if (outcome)
        *outcome = result;
    return !result.timed_out && result.exited && result.exit_status == 0 ? 1 : 0;
}

int firmware_run_programmer(const char *bootloader_port, unsigned time_limit_ms,
                            firmware_programmer_outcome *outcome)
{
    if (!firmware_flashing_allowed(bootloader_port)) {
        if (outcome) {
            *outcome = firmware_programmer_outcome{};
            outcome->refused = 1;
        }
        return 0;
    }
    const GPid pid = firmware_start_programmer(bootloader_port);
    if (pid)
        return firmware_finish_programmer(pid, time_limit_ms, outcome);
    if (outcome)
        *outcome = firmware_programmer_outcome{};
    return 0;
}
