#include "staged_file.h"

#include "translate.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
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

// Every signal whose default action ends the process, besides the
// real-time ones (SIGRTMIN..SIGRTMAX, not constants).
const int cleaned_signals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                               SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,  SIGSYS,  SIGTRAP,
                               SIGABRT, SIGBUS,  SIGFPE,  SIGILL,    SIGSEGV, SIGSTKFLT};

template <typename Action> void for_each_cleaned_signal(Action action)
{
    for (int signal_number : cleaned_signals)
        action(signal_number);
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
        action(signal_number);
}

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
        for_each_cleaned_signal([&](int signal_number) { sigaddset(&held, signal_number); });
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

// The hidden name for the target's base name in folder: ".NAME.XXXXXX", NAME
// cut (at a character's first byte) so that the name fits the folder's limit
// and the path PATH_MAX. Null when even an empty NAME does not fit.
gchar *temporary_path_for(const char *folder, const char *name)
{
    long name_max = pathconf(folder, _PC_NAME_MAX);
    if (name_max <= 0)
        name_max = NAME_MAX;
    const size_t decoration = strlen("..XXXXXX");
    const size_t folder_part = strlen(folder) + 1;
    if (size_t(name_max) <= decoration || folder_part + decoration >= PATH_MAX)
        return nullptr;
    size_t kept = strlen(name);
    kept = MIN(kept, size_t(name_max) - decoration);
    kept = MIN(kept, PATH_MAX - 1 - folder_part - decoration);
    while (kept > 0 && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80)
        --kept;
    return g_strdup_printf("%s/.%.*s.XXXXXX", folder, int(kept), name);
}

// Gives the temporary file the target's name without replacing anything: a
// rename that refuses an existing target, else (a file system without it) a
// hard link and an unlink, else (one without hard links either) a look and a
// rename. 0, or the errno (EEXIST when the name is taken).
int rename_without_replacing(const char *from, const char *to)
{
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (link(from, to) == 0) {
        g_unlink(from);
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP)
        return errno;
    GStatBuf status;
    if (g_lstat(to, &status) == 0)
        return EEXIST;
    return g_rename(from, to) == 0 ? 0 : errno;
}

// Gives the new file the replaced one's mode, owner and group (owner and
// group only where this process may set them).
void keep_attributes(int fd, const char *target)
{
    GStatBuf status;
    if (g_stat(target, &status) != 0 || !S_ISREG(status.st_mode))
        return;
    // Owner first: a change of owner clears the set-id bits that the mode
    // then sets again.
    if (fchown(fd, status.st_uid, status.st_gid) != 0)
        (void)!fchown(fd, uid_t(-1), status.st_gid);
    fchmod(fd, status.st_mode & 07777);
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
        // A dangling link is a name taken: the commit replaces the link.
        if (errno == ENOENT)
            return STAGED_TARGET_FILE;
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
    for_each_cleaned_signal([](int signal_number) {
        struct sigaction current;
        if (sigaction(signal_number, nullptr, &current) != 0)
            return;
        if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)
            return;
        struct sigaction cleanup;
        memset(&cleanup, 0, sizeof cleanup);
        cleanup.sa_handler = remove_temporaries_and_end;
        sigfillset(&cleanup.sa_mask);
        sigaction(signal_number, &cleanup, nullptr);
    });
}

int staged_file_make_temporary(gchar *path_template, int mode, int *slot)
{
    if (strlen(path_template) >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    staged_file_catch_signals();
    *slot = claim_slot();
    if (*slot < 0) {
        errno = EMFILE;
        return -1;
    }
    int fd;
    {
        signals_held held;
        fd = g_mkstemp_full(path_template, O_RDWR | O_CLOEXEC, mode);
        if (fd >= 0) {
            strcpy(slots[*slot].path, path_template);
            slots[*slot].state.store(slot_live);
        }
    }
    if (fd < 0) {
        const int error_number = errno;
        release_slot(*slot);
        errno = error_number;
    }
    return fd;
}

void staged_file_forget_temporary(int slot)
{
    release_slot(slot);
}

unsigned staged_file_other_links(const char *path)
{
    GStatBuf status;
    if (g_stat(path, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink < 2)
        return 0;
    return unsigned(status.st_nlink - 1);
}

namespace {

staged_file *create(const char *path, bool may_replace, GError **error)
{
    const staged_target target = staged_file_look_at_target(path, error);
    if (target == STAGED_TARGET_REFUSED)
        return nullptr;
    if (target != STAGED_TARGET_NEW && !may_replace) {
        set_error_from_errno(error, EEXIST);
        return nullptr;
    }

    gchar *folder = g_path_get_dirname(path);
    gchar *name = g_path_get_basename(path);
    // Hidden, so that a file chooser does not offer it while it is written.
    gchar *temporary_path = temporary_path_for(folder, name);
    g_free(name);
    g_free(folder);
    if (!temporary_path) {
        set_error_from_errno(error, ENAMETOOLONG);
        return nullptr;
    }
    int slot = -1;
    const int fd = staged_file_make_temporary(temporary_path, 0666, &slot);
    if (fd < 0) {
        const int error_number = errno;
        g_free(temporary_path);
        set_error_from_errno(error, error_number);
        return nullptr;
    }
    staged_file *file = g_new(staged_file, 1);
    file->fd = fd;
    file->path = g_strdup(path);
    file->temporary_path = temporary_path;
    file->slot = slot;
    file->replaces = target != STAGED_TARGET_NEW;
    return file;
}

}  // namespace

staged_file *staged_file_create(const char *path, GError **error)
{
    return create(path, true, error);
}

staged_file *staged_file_create_new(const char *path, GError **error)
{
    return create(path, false, error);
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
    if (file->replaces)
        keep_attributes(file->fd, file->path);
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
    if (error_number == 0) {
        if (!file->replaces)
            error_number = rename_without_replacing(file->temporary_path, file->path);
        else if (g_rename(file->temporary_path, file->path) != 0)
            error_number = errno;
    }
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
