// Sources of the sample stream that the simulated device sends during a
// sampling run: 16-bit little-endian samples, produced piece by piece so that
// a long tape never has to sit in memory.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// The three numbers of a sampling command "u F M V".
struct devsim_sampling_request {
    int format_flags = 0;
    int machine = 0;
    int video = 0;
};

class devsim_stream {
public:
    virtual ~devsim_stream() = default;
    // Copies up to `room` next bytes of the stream into `out`; returns how
    // many, 0 once the stream has ended. Called on the simulator's thread.
    virtual size_t read(unsigned char *out, size_t room) = 0;
};

// Exactly these bytes.
std::unique_ptr<devsim_stream> devsim_stream_from_bytes(std::vector<unsigned char> bytes);

// The bytes of a file (a DMP dump), read as they are sent. nullptr when the
// file cannot be opened.
std::unique_ptr<devsim_stream> devsim_stream_from_file(const std::string &path);

// `samples` samples of a fixed, deterministic pulse pattern: a pilot of short
// pulses, then short, medium and long pulses in a pseudo-random order.
std::unique_ptr<devsim_stream> devsim_stream_pulse_pattern(unsigned long samples);

// The stream of the device's built-in tape, which a run plays when no other
// source was set: the tape library's demo tape (one file each in the ROM
// loader, Turbo Tape 250 and Turrican loader formats).
std::unique_ptr<devsim_stream> devsim_builtin_tape(const devsim_sampling_request &request);
