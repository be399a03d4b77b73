#include "link/sampling_command.h"

#include <glib.h>

static const int flag_both_edges = 2;
static const int flag_rising_start = 1;

char *sampling_command_build(int machine_type, int video_standard, int dump_half_waves, int rising_active)
{
    int flags = 0;
    if (dump_half_waves && sampling_machine_uses_both_edges(machine_type))
        flags |= flag_both_edges;
    if (rising_active && sampling_machine_uses_rising_start(machine_type))
        flags |= flag_rising_start;
    return g_strdup_printf("u %d %d %d", flags, sampling_machine_number(machine_type), video_standard);
}
