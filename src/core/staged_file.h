// A file written beside its target under a hidden temporary name and renamed
// into place only when complete: until the commit, whatever the target's name
// held stays exactly as it was, and a failure, a discard or a stop by signal
// leaves nothing behind.
//
//   staged_file *file = staged_file_create("tape.tap", &error);
//   write(file->fd, ...);
//   staged_file_commit(file, &error);    // or staged_file_discard(file)
//
// The temporary file is made in the target's own folder (so the rename stays
// on one file system) with a name of the form ".NAME.XXXXXX", mode 0666 less
// the umask. The commit syncs it to the disk and renames it over the target:
// a symbolic link under the target's name is replaced, never followed, and
// the folder is synced so the new name survives a power cut.
//
// Targets: a new name, or one that names a regular file (directly or through
// a symbolic link). Anything else under the name (a device, a FIFO, a
// socket, a folder) is refused, so nothing that is not a plain file is ever
// replaced.
//
// Signals: while a temporary file exists, SIGINT, SIGTERM, SIGHUP and SIGQUIT
// whose action is the default one remove every live temporary file before the
// process ends as it would have (the handler re-raises the signal). A signal
// that the program handles itself (e.g. through g_unix_signal_add) is left to
// it; the program then ends through its ordinary path and discards there.
// A program that exits (exit() or a return from main) while a temporary file
// is still live removes it too.
//
// Any thread; a staged_file belongs to one thread at a time. Calls block only
// on the disk.
#pragma once

#include <glib.h>

struct staged_file {
    int fd;                 // open for reading and writing, at offset 0
    gchar *path;            // the target
    gchar *temporary_path;  // the hidden name beside it, until the commit
    int slot;               // its entry among the live temporary files
};

// What a target's name holds now.
enum staged_target {
    STAGED_TARGET_NEW,      // nothing (a dangling symbolic link counts as nothing)
    STAGED_TARGET_FILE,     // a regular file, perhaps through a symbolic link
    STAGED_TARGET_REFUSED,  // something else, or it cannot be looked at
};

// Looks at path without touching it. For STAGED_TARGET_REFUSED, *error
// (may be null) tells why, e.g. "Not a regular file" or the system's reason.
staged_target staged_file_look_at_target(const char *path, GError **error);

// Checks the target as above and creates the temporary file beside it.
// Returns null with *error set (message: the reason) when the target is
// refused or no file can be made in its folder.
staged_file *staged_file_create(const char *path, GError **error);

// Syncs and closes the temporary file and renames it over the target
// (checked again, so a target that became something else meanwhile is still
// refused). Returns 1 on success; 0 with *error set (message: the system's
// reason, e.g. "No space left on device") after any failure, and then the
// temporary file is removed and the target stays as it was. Frees file in
// both cases. Descriptors duplicated from file->fd must have been closed or
// flushed by then: the sync covers the file, not their buffers.
int staged_file_commit(staged_file *file, GError **error);

// Closes and removes the temporary file and frees file; the target is not
// touched.
void staged_file_discard(staged_file *file);

// Installs the signal clean-up again for each of the signals above whose
// action is the default one. staged_file_create does this itself; a program
// that handled a signal for a while and gave it back to the default calls it
// so that temporary files created earlier are covered again.
void staged_file_catch_signals(void);
