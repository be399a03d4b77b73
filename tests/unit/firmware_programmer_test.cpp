// The programmer run: Debian's avrdude against the simulated bootloader.
#include "bootsim.h"
#include "device/firmware.h"
#include "intel_hex.h"
#include "programmer_sandbox.h"
#include "test_pty.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

// A bound handed in where the programmer is known to hang by then: avrdude
// on a port that stays silent or has vanished never ends in less.
constexpr unsigned short_bound_ms = 300;
// Catches a run that never ends; no timing is asserted below this.
constexpr gint64 hang_limit_us = 60 * G_USEC_PER_SEC;

std::vector<unsigned char> image_data()
{
    return intel_hex_flat_data(intel_hex_read(firmware, firmware_length));
}

// Each test: its own sandbox, a simulated bootloader, the image file written.
class FirmwareProgrammer : public testing::Test {
protected:
    void TearDown() override
    {
        firmware_unlink_firmware();
        if (boot)
            bootsim_stop(boot);
    }

    // Starts the bootloader and writes the image file; false when either fails.
    bool prepare(const bootsim_options &options = {})
    {
        boot = bootsim_start(options);
        return boot && firmware_save_firmware() == 1;
    }

    int run(unsigned bound_ms = FIRMWARE_PROGRAMMER_TIME_LIMIT_MS, const char *port = nullptr)
    {
        return firmware_run_programmer(port ? port : bootsim_port_name(boot), bound_ms, &outcome);
    }

    programmer_sandbox sandbox;
    bootsim *boot = nullptr;
    firmware_programmer_outcome outcome = {};
};

TEST_F(FirmwareProgrammer, FlashesTheWholeImage)
{
    ASSERT_TRUE(prepare());
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(outcome.started, 1);
    EXPECT_EQ(outcome.exited, 1);
    EXPECT_EQ(outcome.exit_status, 0);
    EXPECT_EQ(outcome.timed_out, 0);

    const std::vector<unsigned char> image = image_data();
    ASSERT_EQ(image.size(), 5308u);
    const std::vector<unsigned char> flash = bootsim_flash(boot);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin())) << bootsim_command_log(boot);
    for (size_t i = image.size(); i < flash.size(); ++i)
        ASSERT_EQ(flash[i], 0xFF) << "flash written beyond the image at " << i;
}

// The way a user types it in the settings: without the "/dev/" in front.
TEST_F(FirmwareProgrammer, FindsAPortNamedWithoutDev)
{
    ASSERT_TRUE(prepare());
    const std::string full = bootsim_port_name(boot);
    ASSERT_EQ(full.rfind("/dev/", 0), 0u);
    EXPECT_EQ(run(FIRMWARE_PROGRAMMER_TIME_LIMIT_MS, full.c_str() + 5), 1);
    EXPECT_GE(bootsim_flash_bytes_written(boot), 5308);
}

TEST_F(FirmwareProgrammer, AWrongSignatureFailsWithoutWriting)
{
    bootsim_options options;
    options.signature[2] = 0x88;
    ASSERT_TRUE(prepare(options));
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(outcome.exited, 1);
    EXPECT_NE(outcome.exit_status, 0);
    EXPECT_EQ(bootsim_flash_bytes_written(boot), 0);
}

// A silent bootloader: avrdude would wait out its own time-outs (about 45 s,
// within the real bound). Once it has asked and heard nothing, a short bound
// ends the run as failed.
TEST_F(FirmwareProgrammer, ASilentBootloaderFails)
{
    bootsim_options options;
    options.never_answers = true;
    ASSERT_TRUE(prepare(options));
    const GPid pid = firmware_start_programmer(bootsim_port_name(boot));
    ASSERT_NE(pid, 0);
    const gint64 deadline = g_get_monotonic_time() + hang_limit_us;
    while (bootsim_bytes_heard(boot) == 0 && g_get_monotonic_time() < deadline)
        g_usleep(10 * 1000);
    EXPECT_EQ(firmware_finish_programmer(pid, short_bound_ms, &outcome), 0);
    EXPECT_GT(bootsim_bytes_heard(boot), 0) << "the programmer never asked";
    EXPECT_EQ(outcome.timed_out, 1);
    EXPECT_EQ(bootsim_flash_bytes_written(boot), 0);
    EXPECT_EQ(count_child_processes("avrdude"), 0);
}

// A cable pulled mid-write: avrdude would spin for ever, the bound ends it.
// The bound starts once the port has vanished, however long avrdude took to
// get there.
TEST_F(FirmwareProgrammer, APortThatVanishesMidWriteIsEndedAtTheBound)
{
    bootsim_options options;
    options.close_after_flash_bytes = 1024;
    ASSERT_TRUE(prepare(options));
    const GPid pid = firmware_start_programmer(bootsim_port_name(boot));
    ASSERT_NE(pid, 0);
    const gint64 deadline = g_get_monotonic_time() + hang_limit_us;
    while (!bootsim_closed(boot) && g_get_monotonic_time() < deadline)
        g_usleep(10 * 1000);
    EXPECT_EQ(firmware_finish_programmer(pid, short_bound_ms, &outcome), 0);
    EXPECT_TRUE(bootsim_closed(boot)) << "the bootloader never reached the write";
    EXPECT_EQ(outcome.timed_out, 1);
    EXPECT_EQ(outcome.exited, 0);
    EXPECT_EQ(outcome.signal_number, SIGTERM);
    EXPECT_EQ(count_child_processes("avrdude"), 0);
}

TEST_F(FirmwareProgrammer, AProgrammerThatIgnoresTheEndRequestIsKilled)
{
    // Stands in for a programmer stuck where SIGTERM does not reach it. It
    // makes a file once its trap is set, and the bound starts only then: a
    // busy machine may take its time to start a shell.
    const std::string trap_set = sandbox.path("trap-set");
    sandbox.put_programmer_script("trap '' TERM\n: >'" + trap_set + "'\nexec sleep 60");
    test_pty port;
    ASSERT_EQ(firmware_save_firmware(), 1);
    const GPid pid = firmware_start_programmer(port.path().c_str());
    ASSERT_NE(pid, 0);
    const gint64 deadline = g_get_monotonic_time() + hang_limit_us;
    bool trap_is_set = false;
    while (!(trap_is_set = g_file_test(trap_set.c_str(), G_FILE_TEST_EXISTS)) && g_get_monotonic_time() < deadline)
        g_usleep(10 * 1000);
    // A bound of 0: the end request goes out at once.
    EXPECT_EQ(firmware_finish_programmer(pid, 0, &outcome), 0);
    ASSERT_TRUE(trap_is_set) << "the stand-in never set its trap";
    EXPECT_EQ(outcome.timed_out, 1);
    EXPECT_EQ(outcome.signal_number, SIGKILL);
    EXPECT_EQ(count_child_processes("sleep"), 0);
    EXPECT_EQ(count_child_processes("avrdude"), 0);
}

TEST_F(FirmwareProgrammer, NoProgrammerOnThePathFails)
{
    ASSERT_TRUE(prepare());
    sandbox.hide_programmer();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(outcome.started, 0);
    EXPECT_EQ(bootsim_flash_bytes_written(boot), 0);
}

// Whatever front end calls it, the stand-in never reaches a real device.
TEST_F(FirmwareProgrammer, TheStandInIsRefusedForAPortThatIsNoPseudoTerminal)
{
    if (!firmware_image_is_stand_in())
        GTEST_SKIP() << "this build carries a real image";
    sandbox.put_programmer_script("touch ran");
    ASSERT_EQ(firmware_save_firmware(), 1);
    EXPECT_EQ(run(FIRMWARE_PROGRAMMER_TIME_LIMIT_MS, "/dev/null"), 0);
    EXPECT_EQ(outcome.refused, 1);
    EXPECT_EQ(outcome.started, 0);
    EXPECT_FALSE(sandbox.exists("ran"));
}

}  // namespace
