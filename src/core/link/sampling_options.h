// The four sampling option values chosen in the "Sampling options" window.
// They live in memory only and start at 0 with every start of the client.
#pragma once

struct sampling_option_values {
    int machine_type;     // 0 "COMMODORE 64", 1 "VIC 20", 2 "C16/+4", 3 "GENERIC"
    int video_standard;   // 0 "PAL", 1 "NTSC"
    int dump_half_waves;  // non-zero: both edges are active ("Trigger on both edges")
    int rising_active;    // non-zero: the first active edge is a rising one
};
