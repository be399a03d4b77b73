#include "sampling_command.h"

#include <glib.h>

static const int flag_both_edges = 2;
static const int flag_rising_start = 1;

char *sampling_command_build(int machine_type, int video_standard, int dump_half_waves, int rising_active)
{
    int flags = 0;
    int machine = machine_type;
    switch (machine_type) {
    case SAMPLING_MACHINE_C16:
        if (dump_half_waves)
            flags |= flag_both_edges;
        break;
    case SAMPLING_MACHINE_GENERIC:
        if (dump_half_waves)
            flags |= flag_both_edges;
        if (rising_active)
            flags |= flag_rising_start;
        // The device knows no machine of its own for the generic setting.
        machine = SAMPLING_MACHINE_C64;
        break;
    default:
        break;
    }
    return g_strdup_printf("u %d %d %d", flags, machine, video_standard);
}
