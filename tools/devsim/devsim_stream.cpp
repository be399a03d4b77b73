#include "devsim_stream.h"

#include "tape/dmp.h"
#include "tape_demo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

class bytes_stream : public devsim_stream {
public:
    explicit bytes_stream(std::vector<unsigned char> bytes) : data(std::move(bytes)) {}
    size_t read(unsigned char *out, size_t room) override
    {
        size_t n = std::min(room, data.size() - position);
        if (n == 0)
            return 0;  // an empty vector's data() may be null, which memcpy must not see
        memcpy(out, data.data() + position, n);
        position += n;
        return n;
    }

private:
    std::vector<unsigned char> data;
    size_t position = 0;
};

class file_stream : public devsim_stream {
public:
    explicit file_stream(FILE *opened) : file(opened) {}
    ~file_stream() override { fclose(file); }
    size_t read(unsigned char *out, size_t room) override { return fread(out, 1, room, file); }

private:
    FILE *file;
};

// Pulse lengths in sample ticks: what a tape's short, medium and long pulses
// and the pause between blocks look like to the plot.
const unsigned pattern_short = 384;
const unsigned pattern_medium = 544;
const unsigned pattern_long = 704;
const unsigned pattern_gap = 12000;
const unsigned long pattern_pilot = 2000;     // short pulses before each block
const unsigned long pattern_block = 6000;     // mixed pulses in a block

class pattern_stream : public devsim_stream {
public:
    explicit pattern_stream(unsigned long samples) : left(samples) {}
    size_t read(unsigned char *out, size_t room) override
    {
        size_t n = 0;
        while (left > 0 && room - n >= 2) {
            dmp_put_sample(out + n, static_cast<unsigned short>(next()));
            n += dmp_bytes_per_sample;
            left--;
        }
        return n;
    }

private:
    unsigned next()
    {
        unsigned long at = index++ % (pattern_pilot + pattern_block + 1);
        if (at < pattern_pilot)
            return pattern_short;
        if (at == pattern_pilot + pattern_block)
            return pattern_gap;
        random = random * 1103515245u + 12345u;
        static const unsigned lengths[3] = {pattern_short, pattern_medium, pattern_long};
        // A little jitter, as a real tape has.
        return lengths[(random >> 16) % 3] + ((random >> 8) & 0xF);
    }

    unsigned long left;
    unsigned long index = 0;
    unsigned random = 1;
};

// Whole samples of a tape held in memory.
class samples_stream : public devsim_stream {
public:
    explicit samples_stream(std::vector<unsigned short> tape) : samples(std::move(tape)) {}
    size_t read(unsigned char *out, size_t room) override
    {
        size_t n = 0;
        for (; next < samples.size() && room - n >= 2; next++) {
            dmp_put_sample(out + n, samples[next]);
            n += dmp_bytes_per_sample;
        }
        return n;
    }

private:
    std::vector<unsigned short> samples;
    size_t next = 0;
};

}  // namespace

std::unique_ptr<devsim_stream> devsim_stream_from_bytes(std::vector<unsigned char> bytes)
{
    return std::make_unique<bytes_stream>(std::move(bytes));
}

std::unique_ptr<devsim_stream> devsim_stream_from_file(const std::string &path)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return nullptr;
    return std::make_unique<file_stream>(file);
}

std::unique_ptr<devsim_stream> devsim_stream_pulse_pattern(unsigned long samples)
{
    return std::make_unique<pattern_stream>(samples);
}

std::unique_ptr<devsim_stream> devsim_builtin_tape(const devsim_sampling_request &)
{
    // One file of each recognised format; about 17 s at the line rate.
    return std::make_unique<samples_stream>(tape_demo_samples());
}
