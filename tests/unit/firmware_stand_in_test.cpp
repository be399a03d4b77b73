// Telling the stand-in image from a device program, and which bootloader
// ports may receive it.
#include "device/firmware.h"
#include "test_pty.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string committed_stand_in()
{
    char *text = nullptr;
    gsize length = 0;
    EXPECT_TRUE(g_file_get_contents(ZR7K8_SOURCE_DIR "/data/zr7k8lc32u4.hex", &text, &length, nullptr));
    std::string image(text ? text : "", length);
    g_free(text);
    return image;
}

TEST(FirmwareStandIn, IsRecognisedByTheMarkerInItsProgramBytes)
{
    const std::string stand_in = committed_stand_in();
    EXPECT_EQ(firmware_text_is_stand_in(stand_in.data(), stand_in.size()), 1);

    // The same image with two marker bytes changed (one up, one down, so the
    // record's checksum still holds): a program like any other.
    std::string other = stand_in;
    const std::string first_record_start = ":10000000FFCF5A52374B";
    ASSERT_EQ(other.compare(0, first_record_start.size(), first_record_start), 0);
    other.replace(0, first_record_start.size(), ":10000000FFCF5A53374A");
    EXPECT_EQ(firmware_text_is_stand_in(other.data(), other.size()), 0);
}

TEST(FirmwareStandIn, OnlyAPseudoTerminalMayReceiveIt)
{
    test_pty pty;
    test_folder folder;
    const std::string link = folder.path() + "/bootloader";
    ASSERT_EQ(symlink(pty.path().c_str(), link.c_str()), 0);
    const std::string plain = folder.path() + "/plain";
    ASSERT_TRUE(g_file_set_contents(plain.c_str(), "", 0, nullptr));
    const std::string fifo = folder.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    EXPECT_EQ(firmware_port_is_pseudo_terminal(pty.path().c_str()), 1);
    EXPECT_EQ(firmware_port_is_pseudo_terminal(pty.name_below_dev().c_str()), 1);
    EXPECT_EQ(firmware_port_is_pseudo_terminal(link.c_str()), 1);
    EXPECT_EQ(firmware_port_is_pseudo_terminal(plain.c_str()), 0);
    EXPECT_EQ(firmware_port_is_pseudo_terminal(fifo.c_str()), 0);
    EXPECT_EQ(firmware_port_is_pseudo_terminal("/dev/null"), 0);
    EXPECT_EQ(firmware_port_is_pseudo_terminal("/dev/ptmx"), 0);  // a terminal device, but no pty slave
    EXPECT_EQ(firmware_port_is_pseudo_terminal("ttyZR7K8-absent"), 0);

    if (firmware_image_is_stand_in()) {
        EXPECT_EQ(firmware_flashing_allowed(link.c_str()), 1);
        EXPECT_EQ(firmware_flashing_allowed(plain.c_str()), 0);
    } else {
        EXPECT_EQ(firmware_flashing_allowed(plain.c_str()), 1);
    }
}

}  // namespace
