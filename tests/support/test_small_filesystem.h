// A real small filesystem that fills up: a tmpfs of a given size mounted on a
// fresh temporary folder, so writes beyond its size fail with "No space left
// on device" exactly as on a full disk. Mounting needs the right to mount
// (root); without it mounted() is false and the test should skip.
#pragma once

#include "test_pty.h"

#include <cstddef>
#include <string>

class test_small_filesystem {
public:
    explicit test_small_filesystem(size_t size_bytes);
    ~test_small_filesystem();
    test_small_filesystem(const test_small_filesystem &) = delete;
    test_small_filesystem &operator=(const test_small_filesystem &) = delete;

    bool mounted() const { return is_mounted; }
    const std::string &path() const { return folder.path(); }
    // Names in the folder, sorted.
    std::string listing() const;

private:
    test_folder folder;
    bool is_mounted = false;
};
