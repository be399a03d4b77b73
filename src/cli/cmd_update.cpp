// zr7k8 update: replaces the device's firmware with the image built into the
// program, as the client's FW Update button does.
#include "cli.h"
#include "cli_commands.h"
#include "cli_job.h"
#include "device/firmware.h"
#include "link/handoff.h"
#include "device/maintenance.h"
#include "translate.h"

#include <atomic>

namespace {

gchar *update_port_option = nullptr;
gchar *bootloader_option = nullptr;

struct update_ports {
    const char *device;
    const char *bootloader;
};

// Set once the reboot command went out: from then on nothing stops the job.
std::atomic<bool> programming{false};

void update_work(void *data, GSourceFunc finish)
{
    const auto *ports = static_cast<const update_ports *>(data);
    const char *reason = maintenance_request_reboot(ports->device);
    if (!reason) {
        cli_job_device_answered();
        programming.store(true);
        // ZR7K8_BOOTLOADER_PAUSE_MS: the tests' simulated bootloader is there at once.
        reason = maintenance_program_device(
            ports->bootloader, cli_handed_in_ms("ZR7K8_BOOTLOADER_PAUSE_MS", MAINTENANCE_BOOTLOADER_PAUSE_MS),
            FIRMWARE_PROGRAMMER_TIME_LIMIT_MS);
    }
    handoff_post(finish, const_cast<char *>(reason));
}

void on_interrupt(void *)
{
    if (programming.load())
        cli_say("The firmware is being written: the update goes on until the programmer ends "
                "(at most %u s), then counts as aborted",
                FIRMWARE_PROGRAMMER_TIME_LIMIT_MS / 1000);
}

// The reason the update cannot start, or null when the firmware file is written.
const char *prepare(const update_ports *ports)
{
    switch (maintenance_prepare_update(ports->device, ports->bootloader)) {
    case MAINTENANCE_UPDATE_READY:
        return nullptr;
    case MAINTENANCE_STAND_IN_REFUSED:
        return N_("This build carries no device firmware: its image is a stand-in, written only to a simulated "
                  "bootloader (build with -DZR7K8_FIRMWARE_IMAGE=/path/to/image.hex)");
    case MAINTENANCE_COMPONENTS_MISSING:
        return N_("Some update components are missing: avrdude.conf must be in the working directory "
                  "(cp /etc/avrdude.conf .)");
    case MAINTENANCE_FIRMWARE_NOT_COPIED:
        return N_("Could not copy firmware: no image file can be written in the temporary folder ($TMPDIR or /tmp)");
    default:
        return N_("Invalid device or bootloader port");
    }
}

}  // namespace

int cmd_update(int argc, char **argv)
{
    GOptionContext *context = cli_option_context(
        "update", "",
        N_("Replaces the device's firmware with the image built into this program: sends the device into its "
        "bootloader and runs avrdude on the bootloader port. avrdude must be on PATH and avrdude.conf in the "
        "working directory."),
        nullptr);
    cli_add_port_option(context, &update_port_option);
    cli_add_bootloader_port_option(context, &bootloader_option);
    const int parsed = cli_parse(context, &argc, &argv, 0, 0);
    g_option_context_free(context);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    char *device = cli_device_port(update_port_option);
    char *bootloader = device ? cli_bootloader_port(bootloader_option) : nullptr;
    if (!bootloader) {
        g_free(device);
        return CLI_EXIT_USAGE;
    }

    const update_ports ports{device, bootloader};
    int status = CLI_EXIT_FAILED;
    if (const char *refusal = prepare(&ports)) {
        cli_fail("%s", _(refusal));
    } else {
        cli_say("Firmware update requested");
        const cli_job job{"update", update_work, const_cast<update_ports *>(&ports), nullptr, 0, on_interrupt};
        const cli_job_outcome outcome = cli_job_run(&job);
        firmware_unlink_firmware();
        status = cli_job_report(&outcome, device, N_("Firmware update aborted"), N_("Firmware update failed: %s"),
                                N_("Firmware update succeeded"));
    }
    g_free(bootloader);
    g_free(device);
    return status;
}
