// What the command line says when the device's port cannot be had: the
// system's own reason, for a port that is not there and for one that another
// program holds.
#include "cli_run.h"
#include "test_pty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TEST(CliPort, FailureSaysWhyThePortCouldNotBeHad)
{
    test_folder folder;
    const std::string missing = folder.path() + "/ttyS99";
    const cli_result absent = run_cli({"dump", "--port", missing, "tape.DMP"}, folder.path());
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.err.find("zr7k8: " + missing + ": No such file or directory\n"), std::string::npos)
        << absent.err;

    test_pty device;
    const int held = open(device.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    const cli_result taken = run_cli({"preview", "--port", device.path()}, folder.path());
    close(held);
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find("zr7k8: " + device.path() + ": in use by another program\n"), std::string::npos)
        << taken.err;
}

}  // namespace
