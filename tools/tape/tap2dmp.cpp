// zr7k8-tap2dmp: converts a TAP image into the device's sample stream (DMP).
#include "tape_file.h"
#include "tape_tap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static int usage(void)
{
    std::fprintf(stderr, "usage: zr7k8-tap2dmp [--clock HZ] INPUT.tap OUTPUT.dmp\n"
                         "  --clock HZ  machine clock of the image (default: from its header,\n"
                         "              985248 for a C64 PAL image)\n");
    return 2;
}

int main(int argc, char **argv)
{
    unsigned clock_hz = 0;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--clock") == 0) {
        char *end = nullptr;
        const unsigned long value = std::strtoul(argv[2], &end, 10);
        if (*argv[2] == 0 || *end != 0 || value < 100000 || value > 10000000)
            return usage();
        clock_hz = static_cast<unsigned>(value);
        first = 3;
    }
    if (argc - first != 2)
        return usage();

    std::vector<unsigned short> samples;
    tape_tap_info info;
    std::string error;
    if (!tape_tap_file_to_samples(argv[first], clock_hz, &samples, &info, &error) ||
        !dmp_write_file(argv[first + 1], samples, &error)) {
        std::fprintf(stderr, "zr7k8-tap2dmp: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: TAP version %u, clock %u Hz, %zu samples\n", argv[first + 1], info.version,
                info.clock_hz, samples.size());
    return 0;
}
