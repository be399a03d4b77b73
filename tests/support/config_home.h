// A private configuration folder for tests that touch the settings file.
//
// GLib reads XDG_CONFIG_HOME once and caches g_get_user_config_dir() for the
// rest of the process, so the folder is one per process: the first call of
// test_config_home() makes a fresh temporary folder and points
// XDG_CONFIG_HOME at it. Call it before anything else asks GLib for the
// configuration folder (the GUI helpers' test_gui_init() does so first).
// Tests run many to a process: test_config_reset() gives each test an empty
// folder again.
// The folder is removed when the process exits normally.
#pragma once

#include <string>

// Path of this process's temporary configuration folder (XDG_CONFIG_HOME).
// Made on the first call. Any thread, but call it first on the main thread.
const std::string &test_config_home();

// Empties the configuration folder (makes it on first use). Returns the path.
const std::string &test_config_reset();

// The settings folder and file inside it: <home>/zr7k8-client[/user.ini].
std::string test_config_folder();
std::string test_config_file();

// Whole-file helpers for real files on disk. read returns "" for a missing
// file and sets *exists (when given) accordingly; write makes the file's
// folder (with its parents) when it is missing, and throws when it fails.
std::string test_read_file(const std::string &path, bool *exists = nullptr);
void test_write_file(const std::string &path, const std::string &text);
