#include "staged_file.h"

#include "translate.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include <glib/gstdio.h>

namespace {

// The live temporary files, in fixed storage so that a signal handler can
// read them without allocating or locking. A slot is claimed (busy), its
// path written, then marked live; only live paths are removed by a signal.
enum slot_state { slot_free, slot_busy, slot_live };

struct live_temporary {
    std::atomic<int> state;
    char path[PATH_MAX];
};

const int slot_count = 16;
live_temporary slots[slot_count];

const int cleaned_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Async-signal-safe: only atomic loads and unlink.
void remove_live_temporaries(void)
{
    for (live_temporary &slot : slots) {
        if (slot.state.load() == slot_live)
            unlink(slot.path);
    }
}

void remove_temporaries_and_end(int signal_number)
{
    const int saved_errno = errno;
    remove_live_temporaries();
    // Ends the process as the signal would have: it is delivered again, with
    // its default action, as soon as this handler returns.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    errno = saved_errno;
}

// Returns a busy slot's index, or -1 when all are taken.
int claim_slot(void)
{
    for (int i = 0; i < slot_count; i++) {
        int expected = slot_free;
        if (slots[i].state.compare_exchange_strong(expected, slot_busy))
            return i;
    }
    return -1;
}

void release_slot(int slot)
{
    slots[slot].state.store(slot_free);
}

void set_error_from_errno(GError **error, int error_number)
{
    g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(error_number), g_strerror(error_number));
}

// Blocks the cleaned signals in this thread while a temporary file comes
// into being and is registered, so that none slips between the two.
struct signals_held {
    sigset_t previous;
    signals_held()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int signal_number : cleaned_signals)
            sigaddset(&held, signal_number);
        pthread_sigmask(SIG_BLOCK, &held, &previous);
    }
    ~signals_held() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
};

// Makes the folder's new entry durable. Some file systems cannot sync a
// folder; the file itself is synced already, so that is no failure.
void sync_folder_of(const char *path)
{
    gchar *folder = g_path_get_dirname(path);
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    g_free(folder);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

void free_file(staged_file *file)
{
    g_free(file->path);
    g_free(file->temporary_path);
    g_free(file);
}

}  // namespace

staged_target staged_file_look_at_target(const char *path, GError **error)
{
    GStatBuf link_status;
    if (g_lstat(path, &link_status) != 0) {
        if (errno == ENOENT)
            return STAGED_TARGET_NEW;
        set_error_from_errno(error, errno);
        return STAGED_TARGET_REFUSED;
    }
    GStatBuf status = link_status;
    if (S_ISLNK(link_status.st_mode) && g_stat(path, &status) != 0) {
        if (errno == ENOENT)
            return STAGED_TARGET_NEW;
        set_error_from_errno(error, errno);
        return STAGED_TARGET_REFUSED;
    }
    if (S_ISREG(status.st_mode))
        return STAGED_TARGET_FILE;
    if (S_ISDIR(status.st_mode))
        set_error_from_errno(error, EISDIR);
    else
        g_set_error_literal(error, G_FILE_ERROR, G_FILE_ERROR_FAILED, _("Not a regular file"));
    return STAGED_TARGET_REFUSED;
}

void staged_file_catch_signals(void)
{
    // A program that exits while a worker still writes (e.g. after a bounded
    // wait) leaves no temporary file either.
    static std::once_flag exit_hook;
    std::call_once(exit_hook, [] { atexit(remove_live_temporaries); });
    for (int signal_number : cleaned_signals) {
        struct sigaction current;
        if (sigaction(signal_number, nullptr, &current) != 0)
            continue;
        if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)
            continue;
        struct sigaction cleanup;
        memset(&cleanup, 0, sizeof cleanup);
        cleanup.sa_handler = remove_temporaries_and_end;
        sigfillset(&cleanup.sa_mask);
        sigaction(signal_number, &cleanup, nullptr);
    }
}

staged_file *staged_file_create(const char *path, GError **error)
{
    if (staged_file_look_at_target(path, error) == STAGED_TARGET_REFUSED)
        return nullptr;
    staged_file_catch_signals();

    gchar *folder = g_path_get_dirname(path);
    gchar *name = g_path_get_basename(path);
    // Hidden, so that a file chooser does not offer it while it is written.
    gchar *temporary_path = g_strdup_printf("%s/.%s.XXXXXX", folder, name);
    g_free(name);
    g_free(folder);
    if (strlen(temporary_path) >= PATH_MAX) {
        g_free(temporary_path);
        set_error_from_errno(error, ENAMETOOLONG);
        return nullptr;
    }
    const int slot = claim_slot();
    if (slot < 0) {
        g_free(temporary_path);
        set_error_from_errno(error, EMFILE);
        return nullptr;
    }

    int fd;
    {
        signals_held held;
        fd = g_mkstemp_full(temporary_path, O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0) {
            strcpy(slots[slot].path, temporary_path);
            slots[slot].state.store(slot_live);
        }
    }
    if (fd < 0) {
        const int error_number = errno;
        release_slot(slot);
        g_free(temporary_path);
        set_error_from_errno(error, error_number);
        return nullptr;
    }
    staged_file *file = g_new(staged_file, 1);
    file->fd = fd;
    file->path = g_strdup(path);
    file->temporary_path = temporary_path;
    file->slot = slot;
    return file;
}

void staged_file_discard(staged_file *file)
{
    close(file->fd);
    g_unlink(file->temporary_path);
    release_slot(file->slot);
    free_file(file);
}

int staged_file_commit(staged_file *file, GError **error)
{
    int error_number = 0;
    // Synced before the rename, so that a crash cannot leave an empty file
    // in place of a good one.
    if (fsync(file->fd) != 0)
        error_number = errno;
    if (close(file->fd) != 0 && error_number == 0)
        error_number = errno;
    file->fd = -1;
    if (error_number == 0 && staged_file_look_at_target(file->path, error) == STAGED_TARGET_REFUSED) {
        g_unlink(file->temporary_path);
        release_slot(file->slot);
        free_file(file);
        return 0;
    }
    if (error_number == 0 && g_rename(file->temporary_path, file->path) != 0)
        error_number = errno;
    if (error_number != 0) {
        g_unlink(file->temporary_path);
        release_slot(file->slot);
        set_error_from_errno(error, error_number);
        free_file(file);
        return 0;
    }
    release_slot(file->slot);
    sync_folder_of(file->path);
    free_file(file);
    return 1;
}
