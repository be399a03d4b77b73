// A tape file read back as a take (tape/tape_take.h), for tests of images
// made from takes.
#pragma once

#include "tape/tape_take.h"

#include <string>
#include <vector>

// The files of the DMP file or TAP image at path, as the take reader finds
// them (a failure to read it fails the test).
std::vector<tape_take_file> test_read_take(const std::string &path);

// Whether every pulse of every byte of the file's blocks, in every copy the
// format has, was in its window.
bool test_every_byte_clean(const tape_take_file &file);
