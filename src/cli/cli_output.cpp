#include "cli_output.h"

#include "cli.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// errno of the first failed write; -1 when the reason was lost; 0 while all
// is well.
int first_error = 0;

void remember(int error_number)
{
    if (first_error == 0)
        first_error = error_number ? error_number : -1;
}

}  // namespace

void cli_output_guard_standard_descriptors(void)
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free number is this one: those below are open by now.
        open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    }
}

void cli_output_flush(void)
{
    if (std::fflush(stdout) != 0)
        remember(errno);
}

int cli_output_failed(void)
{
    return first_error != 0 || std::ferror(stdout);
}

int cli_output_close(int status)
{
    cli_output_flush();
    const int had_error = std::ferror(stdout);
    if (std::fclose(stdout) != 0)
        remember(errno);
    if (had_error)
        remember(0);
    if (first_error == 0 || (status != CLI_EXIT_OK && status != CLI_EXIT_BAD_FILE && status != CLI_EXIT_UNREAD))
        return status;
    if (first_error < 0)
        return cli_fail("write error");
    return cli_fail("write error: %s", g_strerror(first_error));
}
