// The device console: waiting for its prompt, sending a command line and
// testing its echo, and exact-count reads and writes on the open port.
//
// Byte layouts (CR is 0x0D, LF is 0x0A):
//   prompt            "\r\n> "  (the space belongs to it)
//   command line      text, CR             (no LF is sent)
//   echo              text, CR, LF
//   success marker    "OK!\r\n> "          failure marker  "KO!\r\n> "
//
// Every function reads and writes the port opened by
// serial_connect_and_configure_port, loops on the 500 ms reads and writes of
// the serial link, and has no overall time limit: it ends when its job is
// done or when a read or write fails, which a close of the port from another
// thread brings about within 500 ms. Results: 1 success, 0 failure.
// Worker thread only; no state survives between calls.
#pragma once

// Waits until the input received since the call ends with the prompt.
// Whatever comes before the prompt (a greeting, an earlier prompt) is ignored;
// a chatty device is followed through a sliding window of the latest bytes,
// without ever spinning. Returns 0 when a read fails.
int console_synch_with_device(void);

// Sends `text` followed by CR, then reads exactly strlen(text) + 2 bytes and
// returns 1 if they are `text`, CR, LF. Bytes after the echo stay unread.
// Returns 0 when a read or write fails, when the echo differs, or (after
// sending, without reading) when text, CR and LF exceed 256 bytes.
int console_execute_command(const char *text);

// Writes exactly `count` bytes. A count of 0 issues one empty write.
int console_write(const void *bytes, unsigned count);

// Reads exactly `count` bytes into `buffer`.
int console_read(void *buffer, unsigned count);

// Reads exactly two bytes; returns 1 only if they are "OK".
int console_check_success(void);
