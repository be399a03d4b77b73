// The sampling options and the machines they name: the four values chosen in
// the "Sampling options" window, what each machine type sends the device, and
// the clock each machine times its tape with.
//
// Both the device link (the sampling command, the capture) and the tape
// modules (TAP images, tape health) rest on these facts, so they live here,
// above both. The values live in memory only and start at 0 with every start
// of the client. Plain functions of their arguments; any thread, never block.
#pragma once

#include <glib.h>

struct sampling_option_values {
    int machine_type;     // 0 "COMMODORE 64", 1 "VIC 20", 2 "C16/+4", 3 "GENERIC"
    int video_standard;   // 0 "PAL", 1 "NTSC"
    int dump_half_waves;  // non-zero: both edges are active ("Trigger on both edges")
    int rising_active;    // non-zero: the first active edge is a rising one
};

// Machine types, as indexed by the sampling options window.
enum {
    SAMPLING_MACHINE_C64 = 0,
    SAMPLING_MACHINE_VIC20 = 1,
    SAMPLING_MACHINE_C16 = 2,
    SAMPLING_MACHINE_GENERIC = 3,
};

// Machine numbers as the device and a TAP image's header know them.
enum {
    MACHINE_NUMBER_C64 = 0,
    MACHINE_NUMBER_VIC20 = 1,
    MACHINE_NUMBER_C16 = 2,
};

// Video standards as the device and a TAP image's header know them (a TAP
// image also knows the C64's old NTSC, 2, and PAL-N, 3).
enum {
    VIDEO_STANDARD_PAL = 0,
    VIDEO_STANDARD_NTSC = 1,
};

// Whether the machine type uses the both-edges option and the rising-start
// option. The sampling options window greys out a check button that its
// machine type does not use, and such an option is never sent.
int sampling_machine_uses_both_edges(int machine_type);
int sampling_machine_uses_rising_start(int machine_type);

// The machine number the device is told for a machine type: "GENERIC" is
// sent as a C64, the device knowing no machine of its own for it.
int sampling_machine_number(int machine_type);

// Whether each sample of a capture with these options is half a wave: both
// edges active on a machine type that sends that choice.
int sampling_half_waves(const sampling_option_values *options);

// Machine cycles per second for a machine number and a video standard: the
// rate at which the machine times its tape. A video standard the machine
// does not know gives its PAL clock; an unknown machine counts as a C64.
guint32 machine_clock_hz(unsigned machine, unsigned video);

// The clock of the machine a capture with these options was made for.
guint32 sampling_clock_hz(const sampling_option_values *options);
