#include "callbacks_maintenance.h"

#include "common.h"
#include "device/firmware.h"
#include "link/handoff.h"
#include "main.h"
#include "device/maintenance.h"
#include "options.h"
#include "link/serial.h"
#include "translate.h"

namespace {

// Written on the interface thread before an update's worker starts; the
// thread's creation publishes it to the worker.
unsigned programmer_time_limit_ms = FIRMWARE_PROGRAMMER_TIME_LIMIT_MS;
unsigned bootloader_pause_ms = MAINTENANCE_BOOTLOADER_PAUSE_MS;

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
    handoff_post(idle_finish_device_reboot,
                 const_cast<char *>(maintenance_request_reboot(options_device_port_string)));
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
    switch (maintenance_prepare_update(options_device_port_string, options_bootloader_port_string)) {
    case MAINTENANCE_NO_DEVICE_PORT:
        common_statusbar_update(_(" Error: Invalid device port"));
        return;
    case MAINTENANCE_NO_BOOTLOADER_PORT:
        common_statusbar_update(_(" Error: Invalid bootloader port"));
        return;
    case MAINTENANCE_STAND_IN_REFUSED:
        common_statusbar_update(
            _(" Error: This build carries no device firmware (see README: building with a firmware image)"));
        return;
    case MAINTENANCE_COMPONENTS_MISSING:
        common_statusbar_update(_(" Error: Some update components are missing"));
        return;
    case MAINTENANCE_FIRMWARE_NOT_COPIED:
        common_statusbar_update(_(" Error: Could not copy firmware"));
        return;
    default:
        break;
    }
    common_statusbar_update(_(" Firmware update requested"));
    if (!start_worker("update", thread_update_device, _(" Failed: %s")))
        firmware_unlink_firmware();
}

gpointer thread_update_device(gpointer)
{
    const char *reason = maintenance_request_reboot(options_device_port_string);
    if (!reason)
        reason = maintenance_program_device(options_bootloader_port_string, bootloader_pause_ms,
                                            programmer_time_limit_ms);
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

void callbacks_maintenance_set_bootloader_pause(unsigned milliseconds)
{
    bootloader_pause_ms = milliseconds;
}
