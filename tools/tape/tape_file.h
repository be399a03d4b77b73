// Whole files for the tools and the tests. The DMP form's own reading and
// writing is the core's (tape/dmp.h).
#pragma once

#include "tape/dmp.h"

#include <string>
#include <vector>

// Reads a whole file. Returns 1 on success, 0 with GLib's message (the
// system's reason, with the path).
int tape_read_file(const char *path, std::vector<unsigned char> *bytes, std::string *error);
