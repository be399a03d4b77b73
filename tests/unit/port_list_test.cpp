// The port lister against a made-up /dev and /sys.
#include "fake_port_tree.h"
#include "device/port_list.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> paths(const std::vector<port_info> &ports)
{
    std::vector<std::string> result;
    for (const port_info &port : ports)
        result.push_back(port.path);
    return result;
}

TEST(PortList, ListsByIdNamesFirstThenTheNodesWithWhatTheirUsbDeviceSays)
{
    fake_port_tree tree;
    tree.add_port("ttyACM10", "16c0:05e1", "ZR7K8", "ZR7K8-LC");
    tree.add_port("ttyACM2");
    tree.add_port("ttyUSB0", "0403:6001", "FTDI", "");
    tree.add_port("ttyS0");
    tree.add_port("tty1");
    tree.add_by_id("usb-ZR7K8_ZR7K8-LC_0042-if00", "ttyACM10");
    const std::string by_id = tree.dev() + "/serial/by-id/usb-ZR7K8_ZR7K8-LC_0042-if00";

    const std::vector<port_info> ports = port_list(tree.dev().c_str(), tree.sys().c_str());

    ASSERT_EQ(paths(ports), (std::vector<std::string>{by_id, tree.dev() + "/ttyACM2", tree.dev() + "/ttyACM10",
                                                      tree.dev() + "/ttyUSB0"}));
    EXPECT_EQ(ports[0].target, tree.dev() + "/ttyACM10");
    EXPECT_EQ(ports[0].usb_id, "16c0:05e1");
    EXPECT_EQ(port_format(ports[0]), by_id + " -> " + tree.dev() + "/ttyACM10  ZR7K8 ZR7K8-LC [16c0:05e1]");
    EXPECT_EQ(port_format(ports[1]), tree.dev() + "/ttyACM2");
    EXPECT_EQ(port_description(ports[2]), "ZR7K8 ZR7K8-LC");
    EXPECT_EQ(ports[2].target, "");
    EXPECT_EQ(port_description(ports[3]), "FTDI");
    EXPECT_EQ(ports[3].usb_id, "0403:6001");
    for (const port_info &port : ports)
        EXPECT_TRUE(port.accessible) << port.path << ": " << port.reason;
}

TEST(PortList, APortThatAnotherProgramHoldsIsNotUsable)
{
    fake_port_tree tree;
    tree.add_port("ttyACM0");
    const int held = open((tree.dev() + "/ttyACM0").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

    const std::vector<port_info> ports = port_list(tree.dev().c_str(), tree.sys().c_str());
    close(held);

    ASSERT_EQ(ports.size(), 1u);
    EXPECT_FALSE(ports[0].accessible);
    // The holder is this test program, named as /proc names it.
    EXPECT_EQ(ports[0].reason, "in use by unit_tests (process " + std::to_string(getpid()) + ")");
    EXPECT_EQ(port_format(ports[0]), tree.dev() + "/ttyACM0\n  not usable: " + ports[0].reason +
                                         "; end that program, or close the port in it");
    EXPECT_TRUE(port_list(tree.dev().c_str(), tree.sys().c_str())[0].accessible);
}

// Run by a user outside the group that owns the port, the lister says which
// group and how to join it. Needs root to make such a user of the test.
TEST(PortList, APortOfAGroupTheUserIsNotInNamesTheGroupAndHowToJoin)
{
    const struct group *dialout = getgrnam("dialout");
    if (getuid() != 0 || dialout == nullptr)
        GTEST_SKIP() << "needs root and a dialout group";
    fake_port_tree tree;
    tree.add_port("ttyACM0");
    const std::string node = tree.dev() + "/ttyACM0";
    ASSERT_EQ(chown(node.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(node.c_str(), 0660), 0);

    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As the unprivileged user "nobody", in no supplementary group.
        std::string text = "no identity";
        if (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0) {
            const std::vector<port_info> ports = port_list(tree.dev().c_str(), tree.sys().c_str());
            text = ports.size() == 1 ? port_format(ports[0]) : "ports: " + std::to_string(ports.size());
        }
        ssize_t ignored = write(pipe_ends[1], text.data(), text.size());
        (void)ignored;
        _exit(0);
    }
    close(pipe_ends[1]);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(n));
    close(pipe_ends[0]);
    waitpid(child, nullptr, 0);

    EXPECT_EQ(text, node + "\n  not usable: only the group \"dialout\" may use it, and you are not in it; "
                           "sudo usermod -aG dialout $USER, then log out and in again");
}

}  // namespace
