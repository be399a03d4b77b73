#include "link/sampling_command.h"

#include <glib.h>

static const int flag_both_edges = 2;
static const int flag_rising_start = 1;

int sampling_machine_uses_both_edges(int machine_type)
{
    return machine_type == SAMPLING_MACHINE_C16 || machine_type == SAMPLING_MACHINE_GENERIC;
}

int sampling_machine_uses_rising_start(int machine_type)
{
    return machine_type == SAMPLING_MACHINE_GENERIC;
}

char *sampling_command_build(int machine_type, int video_standard, int dump_half_waves, int rising_active)
{
    int flags = 0;
    if (dump_half_waves && sampling_machine_uses_both_edges(machine_type))
        flags |= flag_both_edges;
    if (rising_active && sampling_machine_uses_rising_start(machine_type))
        flags |= flag_rising_start;
    // The device knows no machine of its own for the generic setting.
    const int machine = machine_type == SAMPLING_MACHINE_GENERIC ? SAMPLING_MACHINE_C64 : machine_type;
    return g_strdup_printf("u %d %d %d", flags, machine, video_standard);
}
