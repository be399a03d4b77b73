// The serial link: the one port the client holds open at a time.
//
// The port is opened by its configured name (unchanged first, then with
// "/dev/" in front), held exclusively, and set to raw 921600 baud 8N1 with no
// flow control and DTR and RTS raised. Every read and write returns within
// about 500 ms. A close from the interface thread makes the worker's next read
// or write fail, and the descriptor number of a closed port is never handed to
// another file while a read or write may still use it.
//
// Threads: open, read and write run on the worker thread of the operation in
// progress; close runs on the interface thread (abort, quit, finish
// callbacks). Only one operation uses the port at a time.
#pragma once

// The descriptor of the port most recently opened; -1 before the first open.
// Written only by serial_connect_and_configure_port; never reset by a close or
// a failed open. After a close the number stays taken by a descriptor on
// /dev/null (end of file, so any read fails) until the next port has opened.
// Do all I/O through serial_read and serial_write, which know whether the port
// is still open.
extern int hPort;

// How long a read or write waits for the device at most, unless changed.
#define SERIAL_TIMEOUT_MS 500

// Sets how long every read and write waits at most: SERIAL_TIMEOUT_MS unless
// changed. For tests, which hand in a short one to see a pause longer than a
// read without waiting it out. Any thread, while no port is open.
void serial_set_timeout(unsigned milliseconds);

// Opens the port called `name` and configures it. Tries `name` unchanged
// first; when that open fails and `name` does not start with "/dev/", tries
// "/dev/" followed by `name`. Refuses a port that another holder has locked
// (flock) or made exclusive (TIOCEXCL). Returns 1 when the port is open and
// configured, else 0 with nothing left open and the reason kept for
// serial_open_failure_text. Never blocks on the device.
// Worker thread.
int serial_connect_and_configure_port(const char *name);

// Why the last serial_connect_and_configure_port failed, for people: the
// path tried last and the reason, e.g. "/dev/ttyS99: No such file or
// directory" or "/dev/ttyACM0: in use by another program"; null when the
// last open succeeded or none was tried. The caller frees it with g_free.
// Any thread (the program: after the operation's worker has finished).
char *serial_open_failure_text(void);

// Closes the port if it is open, else does nothing; safe any number of times
// and before any open. A read or write in progress on another thread returns
// at once and fails. Output that the driver still holds for the device is
// discarded, the line settings the port had before it was opened are put
// back, and the port is free for another opener on return. Never waits for the device
// (a terminal's last close can wait up to 30 s for its output to drain; when
// the driver still holds output after the discard, that close is left to a
// short-lived thread of its own). Blocks only for the lock. Any thread (the
// interface thread in the program).
void serial_disconnect_port(void);

// Reads up to `count` bytes into `buffer`. Returns when `count` bytes have
// arrived or 500 ms after the call, whichever is first; *received (when not
// null) tells how many arrived. Returns 1 on success, also with 0 bytes at the
// deadline; 0 when the port is closed (or gets closed meanwhile, even after
// bytes arrived) or the device is gone (hang-up, I/O error, end of file).
// Blocks at most about 500 ms. Worker thread.
int serial_read(void *buffer, unsigned count, unsigned *received);

// As serial_read, but returns as soon as some bytes have arrived, with those
// that are there (at most `count`): one wait and one read when data comes,
// however the device's packets fall against `count`, and only the read while
// a stream faster than its reader keeps bytes waiting.
int serial_read_some(void *buffer, unsigned count, unsigned *received);

// Writes up to `count` bytes from `buffer`. Returns when all are written or
// 500 ms after the call; *written (when not null) tells how many went out.
// Returns 1 on success, also when fewer than `count` were written at the
// deadline, and for a count of 0 on an open port; 0 when the port is closed
// before or while the call runs (a close just before the bytes went out
// included: they did not reach the device) or the device is gone. Blocks at
// most about 500 ms. Worker thread.
int serial_write(const void *buffer, unsigned count, unsigned *written);

// Waits until the device has taken everything written so far (the driver
// holds no more output for it) or 500 ms have passed. A close discards output
// the device has not taken, so a command that must arrive is waited for
// before its sender lets the port be closed. Returns 1 when nothing is left
// to send; 0 when the port is closed (or gets closed meanwhile), the device is
// gone, or output is still waiting at the deadline. A pseudo-terminal holds no
// output of its own: it returns at once. Blocks at most about 500 ms. Worker
// thread.
int serial_wait_until_sent(void);

// The path tried after `name` fails to open: "/dev/" followed by `name`, or
// nullptr when `name` already starts with "/dev/" (it is not tried again).
// The result is freed with g_free. Any thread.
char *serial_second_port_name(const char *name);
