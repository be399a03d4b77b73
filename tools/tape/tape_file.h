// Sample streams as bytes and files.
//
// The device sends, and a DMP file holds, each sample as 16 bits, least
// significant byte first, with no header.
#pragma once

#include <string>
#include <vector>

// The stream's bytes, two per sample, low byte first.
std::vector<unsigned char> tape_samples_to_bytes(const std::vector<unsigned short> &samples);

// Writes the stream to path as a DMP file (replacing it). Returns 1 on
// success, 0 with the system's reason in *error.
int tape_write_dmp(const char *path, const std::vector<unsigned short> &samples, std::string *error);

// Reads a DMP file into *samples (an odd last byte is ignored). Returns 1 on
// success, 0 with the system's reason in *error.
int tape_read_dmp(const char *path, std::vector<unsigned short> *samples, std::string *error);

// Reads a whole file. Returns 1 on success, 0 with the system's reason.
int tape_read_file(const char *path, std::vector<unsigned char> *bytes, std::string *error);
