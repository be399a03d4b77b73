#include "bootsim.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// What the bootloader tells about itself.
constexpr char software_identifier[] = "ZR7KBLD";  // always 7 characters
constexpr char software_version[] = "10";
constexpr char hardware_version[] = "10";
constexpr char programmer_type = 'S';              // serial
constexpr unsigned block_size = 128;               // one flash page
// Device codes offered to 't'; the list ends with 0.
constexpr unsigned char device_codes[] = {0x44, 0x00};
constexpr unsigned char fuse_low = 0xFF, fuse_high = 0xD8, fuse_extended = 0xCB, lock_bits = 0xEC;

constexpr int poll_interval_ms = 50;

// Bytes a command needs in all, its letter included, given what has arrived.
// 0 means "not known yet" (a block load before its size bytes).
size_t command_length(const std::vector<unsigned char> &pending)
{
    switch (pending[0]) {
    case 'A':  // address high, low
        return 3;
    case 'T':  // device code
    case 'x':  // LED on
    case 'y':  // LED off
    case 'l':  // write lock bits
        return 2;
    case 'g':  // size high, low, memory type
        return 4;
    case 'B':  // size high, low, memory type, data
        if (pending.size() < 3)
            return 0;
        return 4 + ((size_t{pending[1]} << 8) | pending[2]);
    default:
        return 1;
    }
}

}  // namespace

struct bootsim {
    bootsim_options options;
    int master = -1;
    int slave = -1;  // held so the master never sees a hang-up between programmer runs
    std::string port_name;
    std::thread thread;
    std::atomic<bool> stop{false};

    std::mutex lock;  // guards the fields below
    std::vector<unsigned char> flash = std::vector<unsigned char>(bootsim_flash_size, 0xFF);
    std::vector<unsigned char> eeprom = std::vector<unsigned char>(bootsim_eeprom_size, 0xFF);
    std::string log;
    long flash_bytes_written = 0;
    long bytes_heard = 0;
    bool closed = false;

    // Protocol state, serving thread only.
    std::vector<unsigned char> pending;
    unsigned address = 0;  // word address for flash, byte address for EEPROM

    void serve();
    void handle(std::vector<unsigned char> &reply);
    void close_port();
};

void bootsim::close_port()
{
    close(master);
    close(slave);
    master = slave = -1;
    std::lock_guard<std::mutex> guard(lock);
    closed = true;
}

void bootsim::handle(std::vector<unsigned char> &reply)
{
    const unsigned char command = pending[0];
    std::lock_guard<std::mutex> guard(lock);
    char line[64];
    if (command == 'B') {
        std::snprintf(line, sizeof line, "B %02X %02X %c [%zu bytes]\n", pending[1], pending[2], pending[3],
                      pending.size() - 4);
    } else {
        int used = std::snprintf(line, sizeof line, "%c", command >= 0x20 && command < 0x7F ? command : '?');
        if (command < 0x20 || command >= 0x7F)
            used = std::snprintf(line, sizeof line, "0x%02X", command);
        for (size_t i = 1; i < pending.size() && used < 50; ++i)
            used += std::snprintf(line + used, sizeof line - used, " %02X", pending[i]);
        std::snprintf(line + used, sizeof line - used, "\n");
    }
    log += line;

    switch (command) {
    case 'S':
        reply.insert(reply.end(), software_identifier, software_identifier + 7);
        break;
    case 'V':
        reply.insert(reply.end(), software_version, software_version + 2);
        break;
    case 'v':
        reply.insert(reply.end(), hardware_version, hardware_version + 2);
        break;
    case 'p':
        reply.push_back(programmer_type);
        break;
    case 'a':
        reply.push_back('Y');
        break;
    case 'b':
        reply.push_back('Y');
        reply.push_back(block_size >> 8);
        reply.push_back(block_size & 0xFF);
        break;
    case 't':
        reply.insert(reply.end(), std::begin(device_codes), std::end(device_codes));
        break;
    case 's':  // least significant byte first
        reply.push_back(options.signature[2]);
        reply.push_back(options.signature[1]);
        reply.push_back(options.signature[0]);
        break;
    case 'A':
        address = (unsigned{pending[1]} << 8) | pending[2];
        reply.push_back('\r');
        break;
    case 'e':
        std::fill(flash.begin(), flash.end(), 0xFF);
        reply.push_back('\r');
        break;
    case 'B': {
        const size_t size = pending.size() - 4;
        const bool to_flash = pending[3] == 'F';
        std::vector<unsigned char> &memory = to_flash ? flash : eeprom;
        const size_t start = to_flash ? size_t{address} * 2 : address;
        if ((pending[3] != 'F' && pending[3] != 'E') || start + size > memory.size() || (to_flash && size % 2)) {
            reply.push_back('?');
            break;
        }
        std::copy(pending.begin() + 4, pending.end(), memory.begin() + start);
        address += static_cast<unsigned>(to_flash ? size / 2 : size);
        if (to_flash)
            flash_bytes_written += static_cast<long>(size);
        reply.push_back('\r');
        break;
    }
    case 'g': {
        const size_t size = (size_t{pending[1]} << 8) | pending[2];
        const bool from_flash = pending[3] == 'F';
        const std::vector<unsigned char> &memory = from_flash ? flash : eeprom;
        const size_t start = from_flash ? size_t{address} * 2 : address;
        if ((pending[3] != 'F' && pending[3] != 'E') || start + size > memory.size()) {
            reply.push_back('?');
            break;
        }
        reply.insert(reply.end(), memory.begin() + start, memory.begin() + start + size);
        address += static_cast<unsigned>(from_flash ? size / 2 : size);
        break;
    }
    case 'F':
        reply.push_back(fuse_low);
        break;
    case 'N':
        reply.push_back(fuse_high);
        break;
    case 'Q':
        reply.push_back(fuse_extended);
        break;
    case 'r':
        reply.push_back(lock_bits);
        break;
    case 'T':  // select device type
    case 'P':  // enter programming mode
    case 'L':  // leave programming mode
    case 'E':  // exit the bootloader
    case 'x':
    case 'y':
    case 'l':
        reply.push_back('\r');
        break;
    case 0x1B:  // escape: a programmer's resynchronisation, no answer
        break;
    default:
        reply.push_back('?');
        break;
    }
}

void bootsim::serve()
{
    unsigned char buffer[512];
    while (!stop.load()) {
        pollfd ready = {master, POLLIN, 0};
        const int events = poll(&ready, 1, poll_interval_ms);
        if (events < 0 && errno != EINTR)
            return;
        if (events <= 0)
            continue;
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count <= 0) {
            // The slave end is held open by us, so this is no hang-up; wait and retry.
            if (count < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
                return;
            poll(nullptr, 0, poll_interval_ms);
            continue;
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            bytes_heard += count;
        }
        if (options.never_answers)
            continue;
        std::vector<unsigned char> reply;
        for (ssize_t i = 0; i < count; ++i) {
            pending.push_back(buffer[i]);
            const size_t needed = command_length(pending);
            if (needed == 0 || pending.size() < needed)
                continue;
            handle(reply);
            pending.clear();
            if (options.close_after_flash_bytes >= 0 &&
                bootsim_flash_bytes_written(this) >= options.close_after_flash_bytes) {
                close_port();
                return;
            }
        }
        for (size_t done = 0; done < reply.size();) {
            const ssize_t written = write(master, reply.data() + done, reply.size() - done);
            if (written < 0) {
                if (errno == EINTR || errno == EAGAIN) {
                    poll(nullptr, 0, 1);
                    continue;
                }
                return;
            }
            done += static_cast<size_t>(written);
        }
    }
}

bootsim *bootsim_start(const bootsim_options &options)
{
    auto *sim = new bootsim;
    sim->options = options;
    sim->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (sim->master < 0 || grantpt(sim->master) != 0 || unlockpt(sim->master) != 0 ||
        ptsname_r(sim->master, name, sizeof name) != 0 ||
        (sim->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        if (sim->master >= 0)
            close(sim->master);
        delete sim;
        return nullptr;
    }
    // Raw from the start, so nothing the programmer sends before it sets up
    // the line is echoed or altered.
    termios attributes;
    if (tcgetattr(sim->slave, &attributes) == 0) {
        cfmakeraw(&attributes);
        tcsetattr(sim->slave, TCSANOW, &attributes);
    }
    sim->port_name = name;
    sim->thread = std::thread([sim] { sim->serve(); });
    return sim;
}

const char *bootsim_port_name(const bootsim *sim)
{
    return sim->port_name.c_str();
}

void bootsim_stop(bootsim *sim)
{
    sim->stop.store(true);
    sim->thread.join();
    if (sim->master >= 0)
        sim->close_port();
    delete sim;
}

std::vector<unsigned char> bootsim_flash(bootsim *sim)
{
    std::lock_guard<std::mutex> guard(sim->lock);
    return sim->flash;
}

std::string bootsim_command_log(bootsim *sim)
{
    std::lock_guard<std::mutex> guard(sim->lock);
    return sim->log;
}

long bootsim_flash_bytes_written(bootsim *sim)
{
    std::lock_guard<std::mutex> guard(sim->lock);
    return sim->flash_bytes_written;
}

long bootsim_bytes_heard(bootsim *sim)
{
    std::lock_guard<std::mutex> guard(sim->lock);
    return sim->bytes_heard;
}

bool bootsim_closed(bootsim *sim)
{
    std::lock_guard<std::mutex> guard(sim->lock);
    return sim->closed;
}
