// zr7k8 reboot: restarts the device, as the client's Reboot button does.
#include "cli.h"
#include "cli_commands.h"
#include "cli_job.h"
#include "link/handoff.h"
#include "device/maintenance.h"
#include "translate.h"

namespace {

gchar *reboot_port_option = nullptr;

void reboot_work(void *port, GSourceFunc finish)
{
    handoff_post(finish, const_cast<char *>(maintenance_request_reboot(static_cast<const char *>(port))));
}

}  // namespace

int cmd_reboot(int argc, char **argv)
{
    GOptionContext *context = cli_option_context(
        "reboot", "", N_("Restarts the device: waits for its console prompt and sends the reboot command."), nullptr);
    cli_add_port_option(context, &reboot_port_option);
    const int parsed = cli_parse(context, &argc, &argv, 0, 0);
    g_option_context_free(context);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    char *port = cli_device_port(reboot_port_option);
    if (!port)
        return CLI_EXIT_USAGE;

    const cli_job job{"reboot", reboot_work, port, nullptr, 0, nullptr};
    const cli_job_outcome outcome = cli_job_run(&job);
    const int status = cli_job_report(&outcome, port, N_("Device reboot aborted"), N_("Device reboot failed: %s"),
                                      N_("Device reboot succeeded"));
    g_free(port);
    return status;
}
