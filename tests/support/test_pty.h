// A real pseudo-terminal for tests: the test holds the master side and plays
// the device; the code under test opens the slave side by its path.
//
// The slave starts in raw mode (set through the master), so bytes that the
// test writes before the client has configured the port arrive unchanged and
// are not echoed back. The fixture never holds the slave open itself.
#pragma once

#include <string>

class test_pty {
public:
    test_pty();   // fails the current test (ADD_FAILURE) if no pty can be made
    ~test_pty();
    test_pty(const test_pty &) = delete;
    test_pty &operator=(const test_pty &) = delete;

    int master() const { return master_fd; }
    // The slave's path, e.g. "/dev/pts/3".
    const std::string &path() const { return slave_path; }
    // The slave's name below /dev, e.g. "pts/3".
    std::string name_below_dev() const;

    // Writes all of `bytes` to the master; false if that takes over 5 s.
    bool write(const std::string &bytes);
    // Reads from the master until `count` bytes have come or `timeout_ms`
    // passed; returns what came.
    std::string read(size_t count, int timeout_ms);
    // Closes the master: for the client the device is gone.
    void unplug();

private:
    int master_fd = -1;
    std::string slave_path;
};

// The number of descriptors this process holds open.
int test_open_descriptor_count();

// A fresh empty folder below the system's temporary folder, removed with
// everything in it when the object goes.
class test_folder {
public:
    test_folder();
    ~test_folder();
    test_folder(const test_folder &) = delete;
    test_folder &operator=(const test_folder &) = delete;
    const std::string &path() const { return folder; }

private:
    std::string folder;
};

// The names in `folder`, hidden ones too, sorted and joined by spaces.
std::string test_folder_listing(const std::string &folder);

// Runs the process in `folder` while the object lives.
class test_working_directory {
public:
    explicit test_working_directory(const std::string &folder);
    ~test_working_directory();
    test_working_directory(const test_working_directory &) = delete;
    test_working_directory &operator=(const test_working_directory &) = delete;

private:
    std::string previous;
};
