// zr7k8-demotape: writes the built-in demo tape as a DMP file.
#include "tape_demo.h"
#include "tape_file.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

const char usage_text[] = "usage: zr7k8-demotape [--force] [--every-format] OUTPUT.dmp\n"
                          "Writes the built-in demo tape (one file each in the ROM loader, Turbo Tape 250 and\n"
                          "Turrican loader formats) as the device's sample stream.\n"
                          "  --force         replace OUTPUT.dmp when it exists\n"
                          "  --every-format  one file more in each of the other loaders' formats\n"
                          "  --help          show this help\n";

int usage(void)
{
    std::fputs(usage_text, stderr);
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    bool force = false;
    bool every_format = false;
    const char *output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage_text, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--force") == 0)
            force = true;
        else if (std::strcmp(argv[i], "--every-format") == 0)
            every_format = true;
        else if (argv[i][0] == '-' && argv[i][1] != 0)
            return usage();  // an option it does not know is no file name
        else if (output)
            return usage();
        else
            output = argv[i];
    }
    if (!output)
        return usage();
    struct stat existing;
    if (!force && stat(output, &existing) == 0) {
        std::fprintf(stderr, "zr7k8-demotape: '%s' exists: --force replaces it\n", output);
        return 2;
    }
    std::string error;
    const std::vector<unsigned short> samples = every_format ? tape_demo_every_format_samples() : tape_demo_samples();
    if (!dmp_write_file(output, samples, &error)) {
        std::fprintf(stderr, "zr7k8-demotape: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %zu samples\n", output, samples.size());
    return 0;
}
