#include "callbacks_maintenance.h"

#include "common.h"
#include "console.h"
#include "firmware.h"
#include "handoff.h"
#include "main.h"
#include "options.h"
#include "serial.h"
#include "translate.h"

namespace {

// Time the device needs to restart into its bootloader after "b".
constexpr gulong bootloader_start_pause_us = 2000000;

const char reboot_command[] = "b\r";

// Reasons a worker hands to its finish callback, shown untranslated.
const char reason_no_port[] = N_("Unable to access communication port to device");
const char reason_no_sync[] = N_("Unable to sync with device");
const char reason_no_reboot[] = N_("Unable to initiate reboot on device");
const char reason_programmer[] = N_("The avrdude executable exited with error");

// Written on the interface thread before an update's worker starts; the
// thread's creation publishes it to the worker.
unsigned programmer_time_limit_ms = FIRMWARE_PROGRAMMER_TIME_LIMIT_MS;

// The device steps that reboot and update share. Returns null when the reboot
// command went out, else the reason. Worker thread.
const char *request_device_reboot(void)
{
    if (!serial_connect_and_configure_port(options_device_port_string))
        return reason_no_port;
    if (!console_synch_with_device())
        return reason_no_sync;
    // The finish callback closes the port, which drops output the device
    // has not taken: the command is only sent once it has left.
    if (!console_write(reboot_command, sizeof reboot_command - 1) || !serial_wait_until_sent())
        return reason_no_reboot;
    return nullptr;
}

// Starts a worker and greys the toolbar; when the thread cannot be made,
// shows its message through `failure_pattern`. Returns 1 when it runs.
int start_worker(const char *name, GThreadFunc worker, const char *failure_pattern)
{
    flag_abort_requested = 0;
    GError *error = nullptr;
    GThread *thread = g_thread_try_new(name, worker, nullptr, &error);
    if (!thread) {
        char *text = g_strdup_printf(failure_pattern, error->message);
        common_statusbar_update(text);
        g_free(text);
        g_error_free(error);
        return 0;
    }
    common_toolbar_set_operation_running(1);
    g_thread_unref(thread);
    return 1;
}

// Shows the outcome: aborted, failed with the reason, or succeeded.
void show_outcome(const char *reason, const char *aborted, const char *failed_pattern, const char *succeeded)
{
    if (flag_abort_requested) {
        common_statusbar_update(aborted);
    } else if (reason) {
        char *text = g_strdup_printf(failed_pattern, reason);
        common_statusbar_update(text);
        g_free(text);
    } else {
        common_statusbar_update(succeeded);
    }
}

}  // namespace

void on_toolbutton_main_reboot_clicked(GtkToolButton *, gpointer)
{
    if (options_device_port_string[0] == '\0') {
        common_statusbar_update(_(" Error: Invalid device port"));
        return;
    }
    start_worker("reboot", thread_reboot_device, _(" %s"));
}

gpointer thread_reboot_device(gpointer)
{
    handoff_post(idle_finish_device_reboot, const_cast<char *>(request_device_reboot()));
    return nullptr;
}

gboolean idle_finish_device_reboot(gpointer data)
{
    show_outcome(static_cast<const char *>(data), _(" Device reboot aborted"), _(" Device reboot failed: %s"),
                 _(" Device reboot succeeded"));
    common_toolbar_set_operation_running(0);
    serial_disconnect_port();
    return FALSE;
}

void on_toolbutton_main_firmware_update_clicked(GtkToolButton *, gpointer)
{
    if (options_device_port_string[0] == '\0') {
        common_statusbar_update(_(" Error: Invalid device port"));
        return;
    }
    if (options_bootloader_port_string[0] == '\0') {
        common_statusbar_update(_(" Error: Invalid bootloader port"));
        return;
    }
    if (!firmware_flashing_allowed(options_bootloader_port_string)) {
        common_statusbar_update(
            _(" Error: This build carries no device firmware (see README: building with a firmware image)"));
        return;
    }
    if (!firmware_side_files_present()) {
        common_statusbar_update(_(" Error: Some update components are missing"));
        return;
    }
    if (!firmware_save_firmware()) {
        common_statusbar_update(_(" Error: Could not copy firmware"));
        return;
    }
    common_statusbar_update(_(" Firmware update requested"));
    if (!start_worker("update", thread_update_device, _(" Failed: %s")))
        firmware_unlink_firmware();
}

gpointer thread_update_device(gpointer)
{
    const char *reason = request_device_reboot();
    if (!reason) {
        // Abort does not cut the pause or the programmer run short: a
        // half-written flash is worse than waiting for the run to end.
        g_usleep(bootloader_start_pause_us);
        if (!firmware_run_programmer(options_bootloader_port_string, programmer_time_limit_ms, nullptr))
            reason = reason_programmer;
    }
    handoff_post(idle_finish_device_update, const_cast<char *>(reason));
    return nullptr;
}

gboolean idle_finish_device_update(gpointer data)
{
    show_outcome(static_cast<const char *>(data), _(" Firmware update aborted"), _(" Firmware update failed: %s"),
                 _(" Firmware update succeeded"));
    firmware_unlink_firmware();
    common_toolbar_set_operation_running(0);
    serial_disconnect_port();
    return FALSE;
}

void callbacks_maintenance_set_programmer_time_limit(unsigned milliseconds)
{
    programmer_time_limit_ms = milliseconds;
}
