// Reboot and FW Update against the simulated device on one pseudo-terminal
// and the simulated bootloader on another, with Debian's avrdude.
#include "bootsim.h"
#include "callbacks_maintenance.h"
#include "devsim.h"
#include "device/firmware.h"
#include "device/maintenance.h"
#include "gui_support.h"
#include "intel_hex.h"
#include "maintenance_fixture.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

const char programmer_failed[] = " Firmware update failed: The avrdude executable exited with error";

// The simulated bootloader is there at once: no pause after the reboot
// command is needed, except where a test presses Abort in it.
class MaintenanceWithDevice : public maintenance_test {
protected:
    void SetUp() override
    {
        maintenance_test::SetUp();
        callbacks_maintenance_set_bootloader_pause(0);
    }

    void TearDown() override
    {
        callbacks_maintenance_set_programmer_time_limit(FIRMWARE_PROGRAMMER_TIME_LIMIT_MS);
        callbacks_maintenance_set_bootloader_pause(MAINTENANCE_BOOTLOADER_PAUSE_MS);
        if (boot)
            bootsim_stop(boot);
        if (device)
            devsim_stop(device);
        maintenance_test::TearDown();
    }

    // Starts the device and the bootloader and points the settings at them.
    void start(const devsim_options &device_options = {}, const bootsim_options &boot_options = {})
    {
        device = devsim_start(device_options);
        boot = bootsim_start(boot_options);
        ASSERT_NE(device, nullptr);
        ASSERT_NE(boot, nullptr);
        set_ports(devsim_port_name(device), bootsim_port_name(boot));
    }

    bool device_received_reboot()
    {
        const std::vector<std::string> commands = devsim_get_status(device).commands;
        return std::find(commands.begin(), commands.end(), "b") != commands.end();
    }

    bool flash_holds_the_image()
    {
        const std::vector<unsigned char> image = intel_hex_flat_data(intel_hex_read(firmware, firmware_length));
        const std::vector<unsigned char> flash = bootsim_flash(boot);
        return image.size() == 5308 && std::equal(image.begin(), image.end(), flash.begin());
    }

    // Starts a device that never shows its prompt, presses `operation`, and
    // once the worker has opened the port (and is waiting for the prompt)
    // checks that the operation's button is greyed, presses it again, and
    // presses Abort.
    void press_and_abort_while_silent(const char *operation)
    {
        devsim_options silent;
        silent.send_prompt = false;
        start(silent);
        test_click(button(operation));
        ASSERT_TRUE(test_pump_until([&] { return devsim_get_status(device).client_connected; }));
        // The device sees the open before the worker has configured the
        // port and made it the one an Abort closes: give it that moment, or
        // the Abort closes nothing and the worker waits for a prompt.
        test_pump_until([] { return false; }, 500);
        EXPECT_FALSE(gtk_widget_get_sensitive(button(operation)));
        test_click(button(operation));  // a second press is impossible while one runs
        test_click(button("toolbutton_main_abort"));
    }

    devsim *device = nullptr;
    bootsim *boot = nullptr;
};

TEST_F(MaintenanceWithDevice, UpdateFlashesTheImageThroughTheBootloader)
{
    start();
    test_click(button("toolbutton_main_firmware_update"));
    EXPECT_EQ(test_statusbar_text(), " Firmware update requested");
    EXPECT_TRUE(toolbar_busy());
    char *written = nullptr;
    gsize length = 0;
    ASSERT_NE(firmware_image_file_path(), nullptr);
    ASSERT_TRUE(g_file_get_contents(firmware_image_file_path(), &written, &length, nullptr));
    EXPECT_EQ(std::string(written, length), std::string(firmware, firmware_length));
    g_free(written);

    ASSERT_TRUE(wait_for_status(" Firmware update succeeded"));
    EXPECT_TRUE(flash_holds_the_image()) << bootsim_command_log(boot);
    EXPECT_TRUE(devsim_wait_for_command(device, "b", 5000));  // read on the device's own thread
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
    EXPECT_TRUE(toolbar_resting());
}

// A bootloader port that is no pseudo-terminal could be a real device: the
// stand-in image is refused before the file is written or the device told.
TEST_F(MaintenanceWithDevice, UpdateRefusesTheStandInForAPortThatIsNoPseudoTerminal)
{
    if (!firmware_image_is_stand_in())
        GTEST_SKIP() << "this build carries a real image";
    start();
    sandbox().put_programmer_script("touch ran");
    const std::string fifo = sandbox().path("bootloader");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    set_ports(devsim_port_name(device), fifo);

    test_click(button("toolbutton_main_firmware_update"));
    EXPECT_EQ(test_statusbar_text(),
              " Error: This build carries no device firmware (see README: building with a firmware image)");
    EXPECT_TRUE(toolbar_resting());
    test_pump_pending();
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
    EXPECT_EQ(devsim_get_status(device).sessions, 0u);
    EXPECT_FALSE(sandbox().exists("ran"));
}

// An unplugged cable mid-write: avrdude never ends by itself; the bound (long
// enough for avrdude to reach the write, which takes it well under a second)
// does.
TEST_F(MaintenanceWithDevice, UpdateWhoseBootloaderVanishesMidWriteFailsAtTheBound)
{
    bootsim_options vanishing;
    vanishing.close_after_flash_bytes = 1024;
    start({}, vanishing);
    callbacks_maintenance_set_programmer_time_limit(3000);
    test_click(button("toolbutton_main_firmware_update"));
    ASSERT_TRUE(wait_for_status(programmer_failed));
    EXPECT_TRUE(bootsim_closed(boot));
    EXPECT_EQ(count_child_processes("avrdude"), 0);
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
    EXPECT_TRUE(toolbar_resting());
}

TEST_F(MaintenanceWithDevice, UpdateRefusedByAWrongSignatureFails)
{
    bootsim_options other_chip;
    other_chip.signature[1] = 0x94;
    start({}, other_chip);
    test_click(button("toolbutton_main_firmware_update"));
    ASSERT_TRUE(wait_for_status(programmer_failed));
    EXPECT_EQ(bootsim_flash_bytes_written(boot), 0);
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
}

TEST_F(MaintenanceWithDevice, UpdateWithoutAProgrammerOnThePathFails)
{
    start();
    sandbox().hide_programmer();
    test_click(button("toolbutton_main_firmware_update"));
    ASSERT_TRUE(wait_for_status(programmer_failed));
    EXPECT_TRUE(devsim_wait_for_command(device, "b", 5000));  // read on the device's own thread
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
    EXPECT_TRUE(toolbar_resting());
}

// Abort in the pause after the reboot command stops nothing: the programmer
// still runs to its end, and the update is reported as aborted.
TEST_F(MaintenanceWithDevice, AbortDuringThePauseEndsAsAborted)
{
    callbacks_maintenance_set_bootloader_pause(300);
    start();
    test_click(button("toolbutton_main_firmware_update"));
    ASSERT_TRUE(test_pump_until([&] { return device_received_reboot(); }));
    test_click(button("toolbutton_main_abort"));
    EXPECT_TRUE(toolbar_busy());
    ASSERT_TRUE(wait_for_status(" Firmware update aborted"));
    EXPECT_TRUE(flash_holds_the_image());
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
    EXPECT_TRUE(toolbar_resting());
}

TEST_F(MaintenanceWithDevice, AbortWhileTheDeviceIsSilentEndsTheUpdate)
{
    press_and_abort_while_silent("toolbutton_main_firmware_update");
    ASSERT_TRUE(wait_for_status(" Firmware update aborted"));
    EXPECT_FALSE(device_received_reboot());
    EXPECT_EQ(devsim_get_status(device).sessions, 1u);
    EXPECT_EQ(bootsim_command_log(boot), "");
    EXPECT_FALSE(sandbox().exists(FIRMWARE_FILE_NAME));
    EXPECT_TRUE(toolbar_resting());
}

TEST_F(MaintenanceWithDevice, RebootSendsTheCommand)
{
    start();
    test_click(button("toolbutton_main_reboot"));
    EXPECT_TRUE(toolbar_busy());
    ASSERT_TRUE(wait_for_status(" Device reboot succeeded"));
    // The client is done once "b" is written; the device reads it on its own
    // thread, possibly a moment later.
    EXPECT_TRUE(devsim_wait_for_command(device, "b", 5000));
    EXPECT_TRUE(toolbar_resting());
}

TEST_F(MaintenanceWithDevice, AbortWhileTheDeviceIsSilentEndsTheReboot)
{
    press_and_abort_while_silent("toolbutton_main_reboot");
    ASSERT_TRUE(wait_for_status(" Device reboot aborted"));
    EXPECT_FALSE(device_received_reboot());
    EXPECT_EQ(devsim_get_status(device).sessions, 1u);
    EXPECT_TRUE(toolbar_resting());
}

}  // namespace
