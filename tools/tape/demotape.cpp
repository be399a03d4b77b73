// zr7k8-demotape: writes the built-in demo tape as a DMP file.
#include "tape_demo.h"
#include "tape_file.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zr7k8-demotape OUTPUT.dmp\n");
        return 2;
    }
    std::string error;
    const std::vector<unsigned short> samples = tape_demo_samples();
    if (!tape_write_dmp(argv[1], samples, &error)) {
        std::fprintf(stderr, "zr7k8-demotape: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %zu samples\n", argv[1], samples.size());
    return 0;
}
