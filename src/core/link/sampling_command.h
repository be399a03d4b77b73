// The sampling command that starts a capture: "u F M V".
//
// F, the format flags: bit 1 = both edges are active, bit 0 = the first active
// edge is a rising one. M, the machine number; V, the video standard.
// An option that the chosen machine type does not use is never sent
// (sampling_options.h says which machine type uses which).
#pragma once

#include "sampling_options.h"

// Returns the command text (without line end) for the four sampling option
// values as the options window stores them; the caller frees it with g_free.
// Any thread; does not block.
char *sampling_command_build(int machine_type, int video_standard, int dump_half_waves, int rising_active);
