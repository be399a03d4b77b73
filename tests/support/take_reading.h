// A tape file read back as a take (tape/tape_take.h), for tests of images
// made from takes.
#pragma once

#include "tape/tape_take.h"

#include <string>
#include <vector>

// The files of the DMP file or TAP image at path, as the take reader finds
// them (a failure to read it fails the test).
std::vector<tape_take_file> test_read_take(const std::string &path);

// The clean image of the takes (the first of them first_path's; the files as
// the rescue of them all gives them) written to clean_path, and its files
// read back (none when it cannot be written, which fails the test).
std::vector<tape_take_file> test_clean_image(const std::string &first_path,
                                             const std::vector<std::vector<tape_take_file>> &takes,
                                             const std::string &clean_path);

// Whether every pulse of every byte of the file's blocks, in every copy the
// format has, was in its window.
bool test_every_byte_clean(const tape_take_file &file);
