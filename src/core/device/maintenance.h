// Device maintenance: the reboot request and the firmware update's steps,
// which every front end runs the same way.
//
// A reboot opens the device port, waits for the console prompt and sends the
// reboot command "b\r". An update first checks its preconditions and writes
// the firmware file (maintenance_prepare_update), then requests the reboot,
// which sends the device into its bootloader, and runs the programmer on the
// bootloader port (maintenance_program_device). The caller deletes the
// firmware file afterwards (firmware_unlink_firmware) and closes the device
// port (serial_disconnect_port), whatever the outcome.
//
// Reasons are fixed English texts, shown untranslated; null means success.
#pragma once

extern const char maintenance_reason_no_reboot[];   // "Unable to initiate reboot on device"
extern const char maintenance_reason_programmer[];  // "The avrdude executable exited with error"

// What keeps an update from starting, in the order tested.
enum maintenance_update_check {
    MAINTENANCE_UPDATE_READY = 0,       // the firmware file is written
    MAINTENANCE_NO_DEVICE_PORT,         // the device port is empty
    MAINTENANCE_NO_BOOTLOADER_PORT,     // the bootloader port is empty
    MAINTENANCE_STAND_IN_REFUSED,       // the stand-in image and a real port (firmware_flashing_allowed)
    MAINTENANCE_COMPONENTS_MISSING,     // a file the programmer needs is missing
    MAINTENANCE_FIRMWARE_NOT_COPIED,    // the firmware file could not be written
};

// Tests the preconditions in order and, when they hold, writes the firmware
// file. Returns MAINTENANCE_UPDATE_READY or the first test that failed
// (nothing written). Blocks for one small file write. Interface thread.
int maintenance_prepare_update(const char *device_port, const char *bootloader_port);

// Opens device_port, waits for the prompt, sends "b\r" and waits (at most
// about 500 ms) until the device has taken it. Returns null when the command
// went out (nothing is read back), else capture_reason_no_port,
// capture_reason_no_sync or maintenance_reason_no_reboot. Leaves the port
// open. Waits for the prompt until it comes or the port is closed from
// another thread. Worker thread.
const char *maintenance_request_reboot(const char *device_port);

// The time a device needs to restart into its bootloader after "b".
#define MAINTENANCE_BOOTLOADER_PAUSE_MS 2000u

// After a reboot request: waits pause_ms (MAINTENANCE_BOOTLOADER_PAUSE_MS for
// a device; a test with a simulated bootloader that is there at once hands in
// less) while the device restarts into its bootloader, then runs the
// programmer on bootloader_port with at most time_limit_ms
// (firmware_run_programmer). Returns null when the programmer exited with
// status 0, else maintenance_reason_programmer. Neither the pause nor the run
// is cut short by anything: a half-written flash is worse than the wait.
// Worker thread.
const char *maintenance_program_device(const char *bootloader_port, unsigned pause_ms, unsigned time_limit_ms);
