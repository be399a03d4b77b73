#include "sampling_options.h"

namespace {

// Machine cycles per second, by video standard. The C64 also had an old NTSC
// board and a PAL-N one.
const guint32 clock_c64[] = {985248, 1022727, 1022730, 1023440};
const guint32 clock_vic20[] = {1108405, 1022727};
const guint32 clock_c16[] = {886724, 894886};

}  // namespace

int sampling_machine_uses_both_edges(int machine_type)
{
    return machine_type == SAMPLING_MACHINE_C16 || machine_type == SAMPLING_MACHINE_GENERIC;
}

int sampling_machine_uses_rising_start(int machine_type)
{
    return machine_type == SAMPLING_MACHINE_GENERIC;
}

int sampling_machine_number(int machine_type)
{
    switch (machine_type) {
    case SAMPLING_MACHINE_VIC20:
        return MACHINE_NUMBER_VIC20;
    case SAMPLING_MACHINE_C16:
        return MACHINE_NUMBER_C16;
    default:
        return MACHINE_NUMBER_C64;
    }
}

int sampling_half_waves(const sampling_option_values *options)
{
    return options->dump_half_waves && sampling_machine_uses_both_edges(options->machine_type);
}

guint32 machine_clock_hz(unsigned machine, unsigned video)
{
    switch (machine) {
    case MACHINE_NUMBER_VIC20:
        return video < G_N_ELEMENTS(clock_vic20) ? clock_vic20[video] : clock_vic20[VIDEO_STANDARD_PAL];
    case MACHINE_NUMBER_C16:
        return video < G_N_ELEMENTS(clock_c16) ? clock_c16[video] : clock_c16[VIDEO_STANDARD_PAL];
    default:
        return video < G_N_ELEMENTS(clock_c64) ? clock_c64[video] : clock_c64[VIDEO_STANDARD_PAL];
    }
}

guint32 sampling_clock_hz(const sampling_option_values *options)
{
    const unsigned video = options->video_standard == VIDEO_STANDARD_NTSC ? VIDEO_STANDARD_NTSC : VIDEO_STANDARD_PAL;
    return machine_clock_hz(unsigned(sampling_machine_number(options->machine_type)), video);
}
