// DMP files: the device's sample stream kept byte for byte as it came over
// the line. Every fact of the form lives here: the byte rule, the ending,
// reading and writing.
//
// A sample is 16 bits, least significant byte first; there is no header. A
// file (or a chunk of the stream) with an odd number of bytes ends with half
// a sample, which is left out. The ending is ".DMP", recognised in any case
// (".dmp", ".Dmp", ...) everywhere a path is judged.
//
// Plain functions; any thread. The file functions block on the disk only.
#pragma once

#include <glib.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

inline constexpr std::size_t dmp_bytes_per_sample = 2;

// The ending a dump's name is given.
inline constexpr char dmp_ending[] = ".DMP";

// ---- The byte rule ----------------------------------------------------------

// The sample whose two bytes begin at bytes.
inline unsigned short dmp_sample_at(const unsigned char *bytes)
{
    return static_cast<unsigned short>(bytes[0] | (bytes[1] << 8));
}

// Writes sample's two bytes at bytes.
inline void dmp_put_sample(unsigned char *bytes, unsigned short sample)
{
    bytes[0] = static_cast<unsigned char>(sample & 0xFF);
    bytes[1] = static_cast<unsigned char>(sample >> 8);
}

// Turns the whole samples of bytes[0..count) into samples[0..count / 2)
// (which must not overlap bytes). Returns count / 2. Inline: the capture's
// read loop runs it for every chunk.
inline std::size_t dmp_decode(const unsigned char *bytes, std::size_t count, unsigned short *samples)
{
    const std::size_t whole = count / dmp_bytes_per_sample;
#if G_BYTE_ORDER == G_LITTLE_ENDIAN
    // The stream's byte order is the machine's: the bytes are the samples.
    std::memcpy(samples, bytes, whole * dmp_bytes_per_sample);
#else
    for (std::size_t i = 0; i < whole; ++i)
        samples[i] = dmp_sample_at(bytes + dmp_bytes_per_sample * i);
#endif
    return whole;
}

// The bytes of samples as a DMP file holds them.
std::vector<unsigned char> dmp_bytes_of_samples(const std::vector<unsigned short> &samples);

// ---- The ending -------------------------------------------------------------

// 1 when path ends with ".DMP" in any case.
int dmp_path_has_ending(const char *path);

// name unchanged when it has the ending, else name + ".DMP". The caller
// frees the result with g_free.
gchar *dmp_path_with_ending(const char *name);

// The path of a file beside a dump: the dump's ending (any case) replaced by
// `ending` (e.g. ".tap"), or `ending` added to a name without one. The
// caller frees the result with g_free.
gchar *dmp_path_beside(const char *dmp_path, const char *ending);

// ---- Whole files --------------------------------------------------------------
// For tools and tests that hold a tape in memory; the program's own readers
// stream (tape_input.h) and its dumps are written as they come (capture.h).

// Writes samples to path as a DMP file (replacing it). Returns 1 on success,
// 0 with the system's reason in *error (may be null).
int dmp_write_file(const char *path, const std::vector<unsigned short> &samples, std::string *error);

// Reads the DMP file at path into *samples (an odd last byte is left out).
// Returns 1 on success, 0 with the system's reason in *error (may be null).
int dmp_read_file(const char *path, std::vector<unsigned short> *samples, std::string *error);
