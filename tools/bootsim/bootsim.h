// A simulated AVR109 bootloader for an ATmega32U4 on a pseudo-terminal.
//
// bootsim_start() opens a pseudo-terminal and serves the bootloader protocol on
// its master side from a thread of this process; a programmer opens the slave
// side (bootsim_port_name) as it would open the device's serial port. Flash
// written through block loads is kept, so a test can compare it with the image
// that was sent. Fault options make the bootloader silent, report another
// signature, or vanish (its pseudo-terminal closed) in the middle of a write.
#pragma once

#include <string>
#include <vector>

// Flash size of the simulated controller; erased flash reads 0xFF.
constexpr unsigned bootsim_flash_size = 32768;
constexpr unsigned bootsim_eeprom_size = 1024;

struct bootsim_options {
    // Reads and drops everything, answers nothing.
    bool never_answers = false;
    // The three signature bytes reported, most significant first.
    unsigned char signature[3] = {0x1E, 0x95, 0x87};
    // When at least 0: once this many flash bytes have arrived in block loads,
    // the pseudo-terminal is closed, as when the cable is pulled mid-write.
    long close_after_flash_bytes = -1;
};

struct bootsim;

// Opens the pseudo-terminal and starts the serving thread. Returns nullptr when
// no pseudo-terminal can be had. Any thread.
bootsim *bootsim_start(const bootsim_options &options = {});

// The slave's path, e.g. "/dev/pts/7". Valid until bootsim_stop().
const char *bootsim_port_name(const bootsim *sim);

// Stops the thread (within ~50 ms), closes the pseudo-terminal, frees sim.
void bootsim_stop(bootsim *sim);

// A copy of the whole flash as it is now.
std::vector<unsigned char> bootsim_flash(bootsim *sim);

// The commands received so far, one per line: the command letter, then its
// parameter bytes in hex (data bytes of block loads are counted, not listed).
std::string bootsim_command_log(bootsim *sim);

// Flash bytes received through block loads so far.
long bootsim_flash_bytes_written(bootsim *sim);

// Bytes read from the programmer so far, answered or not.
long bootsim_bytes_heard(bootsim *sim);

// True once the pseudo-terminal was closed by the mid-write fault.
bool bootsim_closed(bootsim *sim);
