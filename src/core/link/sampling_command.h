// The sampling command that starts a capture: "u F M V".
//
// F, the format flags: bit 1 = both edges are active, bit 0 = the first active
// edge is a rising one. M, the machine number; V, the video standard.
// An option that the chosen machine type does not use is never sent.
#pragma once

// Machine types, as indexed by the sampling options window.
enum {
    SAMPLING_MACHINE_C64 = 0,
    SAMPLING_MACHINE_VIC20 = 1,
    SAMPLING_MACHINE_C16 = 2,
    SAMPLING_MACHINE_GENERIC = 3,
};

// Whether the machine type uses the both-edges option and the rising-start
// option. The sampling options window greys out a check button that its
// machine type does not use, and such an option is never sent. Any thread.
int sampling_machine_uses_both_edges(int machine_type);
int sampling_machine_uses_rising_start(int machine_type);

// Returns the command text (without line end) for the four sampling option
// values as the options window stores them; the caller frees it with g_free.
// Any thread; does not block.
char *sampling_command_build(int machine_type, int video_standard, int dump_half_waves, int rising_active);
