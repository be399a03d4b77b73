// The command line as a user runs it: build/zr7k8 as a child process, with a
// private configuration folder, its output read back.
#pragma once

#include <glib.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct cli_result {
    int status = -1;  // exit status; 128 + n after signal n
    std::string out, err;
};

// What to give the child besides its arguments.
struct cli_run_options {
    // Standard output: cli_stdout_captured (read into cli_result.out),
    // cli_stdout_closed, or a descriptor of the test's that the child gets.
    int stdout_fd = cli_stdout_captured;
    // Standard error: cli_stderr_captured (read into cli_result.err) or a
    // descriptor of the test's that the child gets.
    int stderr_fd = cli_stderr_captured;
    // Variables set (value) or removed (nullopt is spelt nullptr) after
    // XDG_CONFIG_HOME=<folder>/.config.
    std::vector<std::pair<std::string, const char *>> environment;
    // Called with the child's process id while it runs.
    std::function<void(GPid)> meanwhile;

    static constexpr int cli_stdout_captured = -2;
    static constexpr int cli_stdout_closed = -1;
    static constexpr int cli_stderr_captured = -2;
};

// Runs build/zr7k8 with `arguments` in `folder`, XDG_CONFIG_HOME set to
// <folder>/.config, and waits for it (a minute at most for its output).
cli_result run_cli(const std::vector<std::string> &arguments, const std::string &folder,
                   const std::function<void(GPid)> &meanwhile = nullptr);
cli_result run_cli_with(const std::vector<std::string> &arguments, const std::string &folder,
                        const cli_run_options &options);

// The lines of a command's output, without their line ends.
std::vector<std::string> cli_lines(const std::string &text);

// The tab-separated columns of a name line: [file,] time, loader, name.
std::vector<std::string> cli_columns(const std::string &line);
