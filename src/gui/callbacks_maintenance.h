// Device maintenance: the Reboot and FW Update buttons.
//
// Both follow the client's operation pattern: a start handler on the
// interface thread tests its preconditions and starts one worker; the worker
// opens the device port, waits for the console prompt and sends the reboot
// command "b\r"; an update then pauses while the device restarts into its
// bootloader and runs avrdude on the bootloader port (firmware.h). The worker
// ends by queuing its finish callback, which shows the outcome, restores the
// toolbar and closes the port (and, for an update, deletes the firmware file).
// Abort closes the device port: it ends a worker still talking to the device;
// an update's pause and programmer run go on, and the update is reported as
// aborted when they end.
#pragma once

#include <gtk/gtk.h>

// "clicked" of toolbutton_main_reboot. With an empty device port shows
// " Error: Invalid device port" and starts nothing; else starts the worker
// "reboot" and greys the toolbar. Interface thread; never blocks.
void on_toolbutton_main_reboot_clicked(GtkToolButton *toolbutton, gpointer user_data);

// Worker "reboot" (no data): open, prompt, "b\r" and a wait (at most 500 ms)
// until the device has taken it; queues idle_finish_device_reboot with a
// constant reason, or null when the command went out. Returns null. Leaves
// the port open for the finish callback.
gpointer thread_reboot_device(gpointer data);

// Idle callback (data: the worker's reason or null): shows " Device reboot
// aborted" when Abort was pressed, else " Device reboot failed: %s" or
// " Device reboot succeeded"; restores the toolbar; closes the port. Returns
// FALSE (runs once). Interface thread.
gboolean idle_finish_device_reboot(gpointer data);

// "clicked" of toolbutton_main_firmware_update. Stops at the first failed
// test, showing its text: device port empty, bootloader port empty, the
// built-in image being the stand-in while the bootloader port is no
// pseudo-terminal (firmware_flashing_allowed), a side file missing from the
// working directory, the firmware file not written.
// Then shows " Firmware update requested", starts the worker "update" and
// greys the toolbar; if the worker cannot start, shows " Failed: %s" and
// deletes the firmware file again. Interface thread; blocks only for the
// file write.
void on_toolbutton_main_firmware_update_clicked(GtkToolButton *toolbutton, gpointer user_data);

// Worker "update" (no data): open, prompt, "b\r", a 2-second pause (see
// callbacks_maintenance_set_bootloader_pause), then the programmer run
// (bounded, see callbacks_maintenance_set_programmer_time_limit);
// queues idle_finish_device_update with a constant reason, or null when the
// programmer exited with status 0. Returns null.
gpointer thread_update_device(gpointer data);

// Idle callback (data: the worker's reason or null): shows " Firmware update
// aborted" when Abort was pressed, else " Firmware update failed: %s" or
// " Firmware update succeeded"; deletes the firmware file; restores the
// toolbar; closes the port. Returns FALSE (runs once). Interface thread.
gboolean idle_finish_device_update(gpointer data);

// How long an update's programmer run may take before it is ended and counts
// as failed; FIRMWARE_PROGRAMMER_TIME_LIMIT_MS unless changed. For tests.
// Interface thread, while no update runs.
void callbacks_maintenance_set_programmer_time_limit(unsigned milliseconds);

// How long an update waits after the reboot command before it runs the
// programmer; MAINTENANCE_BOOTLOADER_PAUSE_MS unless changed. For tests.
// Interface thread, while no update runs.
void callbacks_maintenance_set_bootloader_pause(unsigned milliseconds);
