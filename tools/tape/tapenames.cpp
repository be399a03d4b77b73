// zr7k8-tapenames: lists the file names the client's decoders find in TAP
// images or DMP files, as the status bar would show them.
#include "name_finder.h"
#include "petscii.h"
#include "tape_file.h"
#include "tape_tap.h"

#include <cstdio>
#include <cstring>

static int read_samples(const char *path, std::vector<unsigned short> *samples, std::string *error)
{
    std::vector<unsigned char> bytes;
    if (!tape_read_file(path, &bytes, error))
        return 0;
    // "C64-TAPE-RAW" or "C16-TAPE-RAW".
    if (bytes.size() >= 12 && std::memcmp(bytes.data() + 3, "-TAPE-RAW", 9) == 0)
        return tape_tap_to_samples(bytes.data(), bytes.size(), 0, samples, nullptr, error);
    return tape_read_dmp(path, samples, error);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: zr7k8-tapenames FILE.tap|FILE.dmp...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<unsigned short> samples;
        std::string error;
        if (!read_samples(argv[i], &samples, &error)) {
            std::fprintf(stderr, "zr7k8-tapenames: %s\n", error.c_str());
            status = 1;
            continue;
        }
        name_finder finder;
        name_finder_init(&finder);
        for (size_t at = 0; at < samples.size(); ++at) {
            if (!name_finder_feed(&finder, samples[at]))
                continue;
            unsigned char copy[17];
            std::memcpy(copy, finder.name, sizeof copy);
            char shown[17];
            petscii_printable_name(copy, shown);
            std::printf("%s: sample %zu: \"%s\" (raw", argv[i], at, shown);
            for (int b = 0; b < 16; ++b)
                std::printf(" %02x", finder.name[b]);
            std::printf(")\n");
        }
    }
    return status;
}
