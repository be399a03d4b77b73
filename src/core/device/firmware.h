// The firmware image the client carries, its file, and the programmer run.
//
// An update writes the image to a file of its own with a unique name in the
// temporary folder ($TMPDIR, else /tmp), runs avrdude on the bootloader port
// with that file's path, and deletes the file again; no file of the user's is
// ever written or deleted. avrdude is an outside program found through PATH;
// only "avrdude.conf" has to sit in the working directory.
//
// The image built in may be the stand-in of tools/firmware-image rather than a
// device's program: a device flashed with it idles and has no console any
// more. Such a build gives the image only to a pseudo-terminal (the simulated
// bootloader); every path that flashes asks firmware_flashing_allowed first,
// and firmware_run_programmer refuses by itself as well.
//
// Results are 1 for success and 0 for failure.
#pragma once

#include <glib.h>

// The image text in Intel HEX form, taken byte for byte from the data file the
// build was given. A NUL follows the last byte, which firmware_length excludes.
extern const char firmware[];
extern const gsize firmware_length;

// The image's name: the stem of the unique file an update writes, and the
// name no update ever uses in the working directory.
#define FIRMWARE_FILE_NAME "zr7k8lc32u4.hex"

// A normal programmer run takes seconds. avrdude never ends by itself when its
// port vanishes mid-run (an unplugged cable), so a run is ended past this bound.
#define FIRMWARE_PROGRAMMER_TIME_LIMIT_MS 120000u

// After the bound has passed the programmer is asked to end (SIGTERM) and,
// if it has not ended after this long, killed (SIGKILL).
#define FIRMWARE_PROGRAMMER_GRACE_MS 2000u

// 1 when the Intel HEX `text` carries FIRMWARE_STAND_IN_MARKER in the bytes of
// its data records (taken in the order they appear), else 0. Any thread.
int firmware_text_is_stand_in(const char *text, gsize length);

// 1 when the image built in is the stand-in (firmware_text_is_stand_in of
// `firmware`), else 0. Decided from the bytes, not from a build setting.
// Any thread.
int firmware_image_is_stand_in(void);

// 1 when the bootloader port, resolved as firmware_bootloader_port_path does,
// is the slave side of a pseudo-terminal: a character device with a
// pseudo-terminal's major number, symbolic links followed (so a link to a
// simulated bootloader counts). 0 for anything else: a serial adapter, another
// device, a plain file, a FIFO, a missing path. Any thread.
int firmware_port_is_pseudo_terminal(const char *bootloader_port);

// 1 when the built-in image may be written through `bootloader_port`: always
// for a real image, only to a pseudo-terminal for the stand-in. A front end
// calls it before it writes the firmware file or reboots the device, and
// refuses with an explanation when it gives 0. Any thread.
int firmware_flashing_allowed(const char *bootloader_port);

// Writes the image to a new file with a unique name ("zr7k8lc32u4-XXXXXX.hex"
// in the temporary folder), deleting the one an earlier call wrote. Returns 1
// on success, 0 when no such file can be made or written (nothing is left
// then). Blocks for one small file write. Interface thread, before the worker
// that runs the programmer starts.
int firmware_save_firmware(void);

// The path of the file firmware_save_firmware wrote, or null when there is
// none. Any thread while the update's worker runs.
const char *firmware_image_file_path(void);

// Deletes the file firmware_save_firmware wrote; none is no error. Interface
// thread, after the worker has finished.
void firmware_unlink_firmware(void);

// Returns 1 when every file the programmer needs in the working directory
// exists, 0 at the first one missing. Any thread.
int firmware_side_files_present(void);

// The bootloader port as the serial link would open it: the name unchanged when
// that path exists or when it starts with "/dev/", else "/dev/" + name.
// Returns a new string (g_free). Any thread.
char *firmware_bootloader_port_path(const char *port);

// The programmer command line for the bootloader port (resolved as above) and
// the image file at image_path, each shell-quoted so any name stays one
// argument. Returns a new string (g_free).
char *firmware_programmer_command_line(const char *bootloader_port, const char *image_path);

// How a programmer run ended, for callers that want more than 1 or 0.
struct firmware_programmer_outcome {
    int started;        // 1 when the process was created
    int exited;         // 1 when it ended by itself through exit()
    int exit_status;    // its exit status when exited
    int signal_number;  // the signal that ended it when it did not exit
    int timed_out;      // 1 when the time bound ended it
    int refused;        // 1 when firmware_flashing_allowed said no: nothing ran
};

// Refuses at once (0, outcome->refused) when firmware_flashing_allowed gives 0
// for the bootloader port, and fails (0, nothing started) when no image file
// has been saved. Otherwise runs the programmer command line for it and the
// saved image file
// in the current working directory, with this process's environment and its
// standard output and error, in a process group of its own (a terminal's
// Ctrl-C does not reach it), and waits for it at most time_limit_ms; past
// that the programmer is ended and reaped, so no process is left behind. Returns 1 only when it
// exited with status 0. outcome may be null. Blocks for the whole run (up to
// time_limit_ms + FIRMWARE_PROGRAMMER_GRACE_MS). Worker thread.
int firmware_run_programmer(const char *bootloader_port, unsigned time_limit_ms,
                            firmware_programmer_outcome *outcome);

// The two halves of firmware_run_programmer, for a caller that has something
// to do between the start and the bounded wait. firmware_start_programmer
// starts the programmer as above and returns its process, or 0 when flashing
// to that port is refused or the programmer could not be started. firmware_finish_programmer waits for that process at most
// time_limit_ms from now, ends and reaps it as above, and returns and fills
// outcome as firmware_run_programmer does. Worker thread.
GPid firmware_start_programmer(const char *bootloader_port);
int firmware_finish_programmer(GPid pid, unsigned time_limit_ms, firmware_programmer_outcome *outcome);
