// zr7k8-bootsim: serves the simulated bootloader on a pseudo-terminal until
// interrupted, for trying a programmer by hand. Prints the port's path, and
// on exit the command log and how many flash bytes were written.
//
// Usage: zr7k8-bootsim [--silent] [--signature XXYYZZ] [--close-after BYTES]
#include "bootsim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

int main(int argc, char **argv)
{
    bootsim_options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--silent") == 0) {
            options.never_answers = true;
        } else if (std::strcmp(argv[i], "--signature") == 0 && i + 1 < argc) {
            const unsigned long value = std::strtoul(argv[++i], nullptr, 16);
            options.signature[0] = static_cast<unsigned char>(value >> 16);
            options.signature[1] = static_cast<unsigned char>(value >> 8);
            options.signature[2] = static_cast<unsigned char>(value);
        } else if (std::strcmp(argv[i], "--close-after") == 0 && i + 1 < argc) {
            options.close_after_flash_bytes = std::strtol(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: %s [--silent] [--signature XXYYZZ] [--close-after BYTES]\n", argv[0]);
            return 2;
        }
    }
    // Blocked before the serving thread exists, so only sigwait below sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    bootsim *sim = bootsim_start(options);
    if (!sim) {
        std::perror("pseudo-terminal");
        return 1;
    }
    std::printf("%s\n", bootsim_port_name(sim));
    std::fflush(stdout);
    int received = 0;
    sigwait(&stop_signals, &received);
    std::fputs(bootsim_command_log(sim).c_str(), stderr);
    std::fprintf(stderr, "flash bytes written: %ld\n", bootsim_flash_bytes_written(sim));
    bootsim_stop(sim);
    return 0;
}
