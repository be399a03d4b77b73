#include "cli_run.h"

#include <sstream>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads both pipes (a missing one is -1) until the child closes them, then
// reaps it.
cli_result finish(GPid pid, int out, int err)
{
    cli_result result;
    pollfd fds[] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string *texts[] = {&result.out, &result.err};
    int open_pipes = (out >= 0) + (err >= 0);
    while (open_pipes > 0 && poll(fds, 2, 60000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, size_t(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    g_spawn_close_pid(pid);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void close_standard_output(gpointer)
{
    close(STDOUT_FILENO);
}

}  // namespace

cli_result run_cli(const std::vector<std::string> &arguments, const std::string &folder,
                   const std::function<void(GPid)> &meanwhile)
{
    cli_run_options options;
    options.meanwhile = meanwhile;
    return run_cli_with(arguments, folder, options);
}

cli_result run_cli_with(const std::vector<std::string> &arguments, const std::string &folder,
                        const cli_run_options &options)
{
    std::vector<const char *> argv{ZR7K8_BINARY_DIR "/zr7k8"};
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    const std::string config = folder + "/.config";
    gchar **environment = g_environ_setenv(g_get_environ(), "XDG_CONFIG_HOME", config.c_str(), TRUE);
    for (const auto &[name, value] : options.environment)
        environment = value ? g_environ_setenv(environment, name.c_str(), value, TRUE)
                            : g_environ_unsetenv(environment, name.c_str());
    const bool captured = options.stdout_fd == cli_run_options::cli_stdout_captured;
    const bool closed = options.stdout_fd == cli_run_options::cli_stdout_closed;
    const bool errors_captured = options.stderr_fd == cli_run_options::cli_stderr_captured;
    GPid pid = 0;
    int out = -1, err = -1;
    GError *error = nullptr;
    const gboolean started = g_spawn_async_with_pipes_and_fds(
        folder.c_str(), argv.data(), environment, G_SPAWN_DO_NOT_REAP_CHILD, closed ? close_standard_output : nullptr,
        nullptr, -1, captured || closed ? -1 : options.stdout_fd, errors_captured ? -1 : options.stderr_fd, nullptr,
        nullptr, 0, &pid, nullptr, captured ? &out : nullptr, errors_captured ? &err : nullptr, &error);
    g_strfreev(environment);
    if (!started) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return {};
    }
    if (options.meanwhile)
        options.meanwhile(pid);
    return finish(pid, out, err);
}

std::vector<std::string> cli_lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

std::vector<std::string> cli_columns(const std::string &line)
{
    std::vector<std::string> result;
    gchar **parts = g_strsplit(line.c_str(), "\t", -1);
    for (gchar **part = parts; *part; ++part)
        result.emplace_back(*part);
    g_strfreev(parts);
    return result;
}
