// zr7k8 ports: the serial ports that could be the device, and whether this
// user can open them.
#include "cli.h"
#include "cli_commands.h"
#include "device/port_list.h"
#include "translate.h"

#include <cstdio>

int cmd_ports(int argc, char **argv)
{
    GOptionContext *context = cli_option_context(
        "ports", "",
        N_("Lists the serial ports that could be the device: the names in /dev/serial/by-id (with the node each "
        "leads to), then /dev/ttyACM* and /dev/ttyUSB*, with their USB maker, product and id. A port this user "
        "cannot open gets a second line saying why and what to do."),
        nullptr);
    const int parsed = cli_parse(context, &argc, &argv, 0, 0);
    g_option_context_free(context);
    if (parsed != CLI_EXIT_OK)
        return parsed;
    const std::vector<port_info> ports = port_list("/dev", "/sys");
    if (ports.empty()) {
        cli_say("No serial port found that could be the device (nothing in /dev/serial/by-id, no /dev/ttyACM* "
                "or /dev/ttyUSB*): is it plugged in?");
        return CLI_EXIT_OK;
    }
    for (const port_info &port : ports)
        std::printf("%s\n", port_format(port).c_str());
    return CLI_EXIT_OK;
}
