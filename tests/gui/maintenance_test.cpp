// Reboot and FW Update: what happens before and without a device.
#include "callbacks_maintenance.h"
#include "device/firmware.h"
#include "gui_support.h"
#include "main.h"
#include "maintenance_fixture.h"
#include "options.h"
#include "support.h"
#include "test_pty.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>

namespace {

const char absent_port[] = "/dev/zr7k8-absent-port";

class Maintenance : public maintenance_test {};

TEST_F(Maintenance, UpdateWithBothPortsEmptyNamesOnlyTheDevicePort)
{
    set_ports("", "");
    test_click(button("toolbutton_main_firmware_update"));
    EXPECT_EQ(test_statusbar_text(), " Error: Invalid device port");
    EXPECT_TRUE(toolbar_resting());
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
}

TEST_F(Maintenance, UpdateWithoutBootloaderPortStartsNothing)
{
    set_ports(absent_port, "");
    test_click(button("toolbutton_main_firmware_update"));
    EXPECT_EQ(test_statusbar_text(), " Error: Invalid bootloader port");
    EXPECT_TRUE(toolbar_resting());
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
}

TEST_F(Maintenance, UpdateWithoutConfigurationFileStartsNothingAndWritesNoFile)
{
    test_pty bootloader;
    set_ports(absent_port, bootloader.path());
    ASSERT_EQ(g_unlink("avrdude.conf"), 0);
    test_click(button("toolbutton_main_firmware_update"));
    EXPECT_EQ(test_statusbar_text(), " Error: Some update components are missing");
    EXPECT_TRUE(toolbar_resting());
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
}

TEST_F(Maintenance, UpdateThatCannotWriteTheFirmwareFileStartsNothing)
{
    test_pty bootloader;
    set_ports(absent_port, bootloader.path());
    g_setenv("TMPDIR", sandbox().path("missing").c_str(), TRUE);
    test_click(button("toolbutton_main_firmware_update"));
    g_unsetenv("TMPDIR");
    EXPECT_EQ(test_statusbar_text(), " Error: Could not copy firmware");
    EXPECT_TRUE(toolbar_resting());
}

TEST_F(Maintenance, UpdateWithAnUnopenableDevicePortFailsAndDeletesTheFile)
{
    test_pty bootloader;
    set_ports(absent_port, bootloader.path());
    test_click(button("toolbutton_main_firmware_update"));
    EXPECT_EQ(test_statusbar_text(), " Firmware update requested");
    ASSERT_NE(firmware_image_file_path(), nullptr);
    const std::string image = firmware_image_file_path();
    EXPECT_TRUE(g_file_test(image.c_str(), G_FILE_TEST_IS_REGULAR));
    EXPECT_TRUE(toolbar_busy());
    EXPECT_TRUE(wait_for_status(" Firmware update failed: Unable to access communication port to device"));
    EXPECT_TRUE(toolbar_resting());
    EXPECT_FALSE(g_file_test(image.c_str(), G_FILE_TEST_EXISTS));
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
}

TEST_F(Maintenance, RebootWithEmptyPortStartsNothing)
{
    set_ports("", "COM4");
    test_click(button("toolbutton_main_reboot"));
    EXPECT_EQ(test_statusbar_text(), " Error: Invalid device port");
    EXPECT_TRUE(toolbar_resting());
    test_pump_pending();
    EXPECT_EQ(test_statusbar_text(), " Error: Invalid device port");
}

TEST_F(Maintenance, RebootWithAnUnopenablePortFails)
{
    set_ports(absent_port, "");
    test_click(button("toolbutton_main_reboot"));
    EXPECT_TRUE(toolbar_busy());
    EXPECT_TRUE(wait_for_status(" Device reboot failed: Unable to access communication port to device"));
    EXPECT_TRUE(toolbar_resting());
}

}  // namespace
