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
// the umask; NAME is shortened (never inside a UTF-8 character) where the
// whole would be longer than the folder allows, so any name that fits there
// can be staged. The commit syncs it to the disk and renames it over the
// target: a symbolic link under the target's name is replaced, never
// followed, and the folder is synced so the new name survives a power cut.
//
// Targets: a new name, or one that names a regular file (directly or through
// a symbolic link) or a dangling symbolic link. Anything else under the name
// (a device, a FIFO, a socket, a folder) is refused, so nothing that is not a
// plain file is ever replaced.
//
// Replacing: only what the name held when the file was created. A name that
// was free then is taken by a rename that never replaces: a file that
// appeared under it meanwhile stays, and the commit fails with
// G_FILE_ERROR_EXIST. A replaced regular file hands its mode, owner and group
// on to the new one (owner and group where the system lets this process set
// them). Its other hard links, if any, are not touched: they keep the earlier
// contents (staged_file_other_links tells a caller whether that happens).
//
// Signals: while a temporary file exists, every signal whose default action
// ends the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, the
// user and real-time signals, the faults...) and whose action is still the
// default one removes every live temporary file before the process ends as
// it would have (the handler re-raises the signal). A signal that the program
// handles itself (e.g. through g_unix_signal_add) or ignores is left to it;
// the program then ends through its ordinary path and discards there. A
// program that exits (exit() or a return from main) while a temporary file
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
    int replaces;           // the name held something at the creation: the commit may replace it
};

// What a target's name holds now.
enum staged_target {
    STAGED_TARGET_NEW,      // nothing
    STAGED_TARGET_FILE,     // a regular file, perhaps through a symbolic link, or a dangling link
    STAGED_TARGET_REFUSED,  // something else, or it cannot be looked at
};

// Looks at path without touching it. For STAGED_TARGET_REFUSED, *error
// (may be null) tells why, e.g. "Not a regular file" or the system's reason.
staged_target staged_file_look_at_target(const char *path, GError **error);

// Checks the target as above and creates the temporary file beside it.
// Returns null with *error set (message: the reason) when the target is
// refused or no file can be made in its folder.
staged_file *staged_file_create(const char *path, GError **error);

// The same for a target that must not exist: a name that holds anything now
// (a dangling link included) is refused with G_FILE_ERROR_EXIST, and the
// commit never replaces.
staged_file *staged_file_create_new(const char *path, GError **error);

// How many other hard links the regular file under path (symbolic links
// followed) has: those a commit to path leaves with the earlier contents.
// 0 when there are none or path names no regular file.
unsigned staged_file_other_links(const char *path);

// Syncs and closes the temporary file and renames it over the target
// (checked again, so a target that became something else meanwhile is still
// refused; a name that was free at the creation is never replaced, see
// above). Returns 1 on success; 0 with *error set (message: the system's
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

// A temporary file of the caller's own (not staged for a target) under the
// same clean-up: path_template ends in "XXXXXX", which g_mkstemp_full fills
// in, and the file is created with mode and registered at once, so no signal
// can come between the two. Returns the open descriptor (*slot set), or -1
// with errno set. Remove the file, then call staged_file_forget_temporary.
int staged_file_make_temporary(gchar *path_template, int mode, int *slot);

// The file of staged_file_make_temporary is the caller's again (removed by
// it, or kept): no signal or exit removes it any more.
void staged_file_forget_temporary(int slot);
