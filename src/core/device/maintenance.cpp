#include "device/maintenance.h"

#include "link/capture_worker.h"
#include "link/console.h"
#include "device/firmware.h"
#include "link/serial.h"
#include "translate.h"

#include <glib.h>

const char maintenance_reason_no_reboot[] = N_("Unable to initiate reboot on device");
const char maintenance_reason_programmer[] = N_("The avrdude executable exited with error");

namespace {

const char reboot_command[] = "b\r";

}  // namespace

int maintenance_prepare_update(const char *device_port, const char *bootloader_port)
{
    if (device_port[0] == '\0')
        return MAINTENANCE_NO_DEVICE_PORT;
    if (bootloader_port[0] == '\0')
        return MAINTENANCE_NO_BOOTLOADER_PORT;
    if (!firmware_flashing_allowed(bootloader_port))
        return MAINTENANCE_STAND_IN_REFUSED;
    if (!firmware_side_files_present())
        return MAINTENANCE_COMPONENTS_MISSING;
    if (!firmware_save_firmware())
        return MAINTENANCE_FIRMWARE_NOT_COPIED;
    return MAINTENANCE_UPDATE_READY;
}

const char *maintenance_request_reboot(const char *device_port)
{
    if (!serial_connect_and_configure_port(device_port))
        return capture_reason_no_port;
    if (!console_synch_with_device())
        return capture_reason_no_sync;
    // The caller closes the port afterwards, which drops output the device
    // has not taken: the command counts as sent only once it has left.
    if (!console_write(reboot_command, sizeof reboot_command - 1) || !serial_wait_until_sent())
        return maintenance_reason_no_reboot;
    return nullptr;
}

const char *maintenance_program_device(const char *bootloader_port, unsigned pause_ms, unsigned time_limit_ms)
{
    g_usleep(gulong(pause_ms) * 1000);
    if (!firmware_run_programmer(bootloader_port, time_limit_ms, nullptr))
        return maintenance_reason_programmer;
    return nullptr;
}
