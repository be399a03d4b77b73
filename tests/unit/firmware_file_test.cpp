// The firmware file, the side-file rule, the bootloader port and the command line.
#include "device/firmware.h"
#include "programmer_sandbox.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::string read_file(const char *name)
{
    char *contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(name, &contents, &length, nullptr))
        return "<unreadable>";
    std::string text(contents, length);
    g_free(contents);
    return text;
}

std::vector<std::string> command_arguments(const char *port, const char *image = "/tmp/zr7k8lc32u4-abcdef.hex")
{
    char *line = firmware_programmer_command_line(port, image);
    char **argv = nullptr;
    std::vector<std::string> arguments;
    if (g_shell_parse_argv(line, nullptr, &argv, nullptr)) {
        for (char **argument = argv; *argument; ++argument)
            arguments.emplace_back(*argument);
    }
    g_strfreev(argv);
    g_free(line);
    return arguments;
}

std::vector<std::string> expected_arguments(const std::string &port)
{
    return {"avrdude", "-Cavrdude.conf", "-v", "-pm32u4", "-cavr109", "-P" + port, "-b57600", "-D",
            "-Uflash:w:/tmp/zr7k8lc32u4-abcdef.hex:i"};
}

// The image goes to a file of the program's own in the temporary folder: a
// file of the user's by the image's name in the working folder is neither
// overwritten nor deleted.
TEST(FirmwareFile, SaveWritesAFileOfItsOwnAndUnlinkRemovesOnlyThat)
{
    programmer_sandbox sandbox;
    ASSERT_TRUE(g_file_set_contents(FIRMWARE_FILE_NAME, "mine", -1, nullptr));
    g_setenv("TMPDIR", sandbox.path("").c_str(), TRUE);
    ASSERT_EQ(firmware_save_firmware(), 1);
    const std::string image = firmware_image_file_path();
    g_unsetenv("TMPDIR");
    EXPECT_NE(image.find("/zr7k8lc32u4-"), std::string::npos) << image;
    EXPECT_EQ(read_file(image.c_str()), std::string(firmware, firmware_length));
    firmware_unlink_firmware();
    EXPECT_FALSE(g_file_test(image.c_str(), G_FILE_TEST_EXISTS));
    EXPECT_EQ(firmware_image_file_path(), nullptr);
    EXPECT_EQ(read_file(FIRMWARE_FILE_NAME), "mine");
}

// Whatever signal ends the program during an update, its image goes too.
TEST(FirmwareFile, TheImageIsRemovedWhenASignalEndsTheProgram)
{
    for (int signal_number : {SIGHUP, SIGQUIT, SIGTERM}) {
        programmer_sandbox sandbox;
        g_setenv("TMPDIR", sandbox.path("").c_str(), TRUE);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(signal_number, SIG_DFL);
            if (firmware_save_firmware() != 1)
                _exit(1);
            raise(signal_number);
            _exit(2);
        }
        g_unsetenv("TMPDIR");
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), signal_number);
        GDir *folder = g_dir_open(sandbox.path("").c_str(), 0, nullptr);
        ASSERT_NE(folder, nullptr);
        while (const char *name = g_dir_read_name(folder))
            EXPECT_FALSE(g_str_has_prefix(name, "zr7k8lc32u4-")) << name;
        g_dir_close(folder);
    }
}

TEST(FirmwareFile, SaveFailsWhenTheTemporaryFolderCannotTakeAFile)
{
    programmer_sandbox sandbox;
    g_setenv("TMPDIR", sandbox.path("missing").c_str(), TRUE);
    EXPECT_EQ(firmware_save_firmware(), 0);
    g_unsetenv("TMPDIR");
    EXPECT_EQ(firmware_image_file_path(), nullptr);
}

TEST(FirmwareSideFiles, OnlyTheConfigurationFileIsRequired)
{
    programmer_sandbox sandbox;  // it copies avrdude.conf into the working folder
    EXPECT_EQ(firmware_side_files_present(), 1);
    ASSERT_EQ(g_unlink("avrdude.conf"), 0);
    EXPECT_EQ(firmware_side_files_present(), 0);
}

TEST(FirmwareSideFiles, AreLookedForInTheWorkingDirectoryOnly)
{
    programmer_sandbox sandbox;
    ASSERT_EQ(g_mkdir("elsewhere", 0700), 0);
    ASSERT_EQ(g_rename("avrdude.conf", "elsewhere/avrdude.conf"), 0);
    EXPECT_EQ(firmware_side_files_present(), 0);
}

TEST(FirmwarePort, ANameWithoutAPathIsLookedForUnderDev)
{
    programmer_sandbox sandbox;
    char *path = firmware_bootloader_port_path("ttyACM1");
    EXPECT_STREQ(path, "/dev/ttyACM1");
    g_free(path);
}

TEST(FirmwarePort, AnExistingPathOrADevPathStaysAsItIs)
{
    programmer_sandbox sandbox;
    ASSERT_TRUE(g_file_set_contents("ttyACM1", "", 0, nullptr));  // a port name that exists here
    char *relative = firmware_bootloader_port_path("ttyACM1");
    EXPECT_STREQ(relative, "ttyACM1");
    g_free(relative);
    char *absent_dev = firmware_bootloader_port_path("/dev/ttyZR7K8-absent");
    EXPECT_STREQ(absent_dev, "/dev/ttyZR7K8-absent");
    g_free(absent_dev);
    char *null_device = firmware_bootloader_port_path("/dev/null");
    EXPECT_STREQ(null_device, "/dev/null");
    g_free(null_device);
}

TEST(FirmwareCommandLine, PlainPortsGiveTheFixedArguments)
{
    programmer_sandbox sandbox;
    EXPECT_EQ(command_arguments("COM4"), expected_arguments("/dev/COM4"));
    EXPECT_EQ(command_arguments("/dev/ttyACM1"), expected_arguments("/dev/ttyACM1"));
}

TEST(FirmwareCommandLine, APortWithSpacesAndQuotesStaysOneArgument)
{
    programmer_sandbox sandbox;
    const char odd[] = "port 'one' \"two\" $HOME;x";
    ASSERT_TRUE(g_file_set_contents(odd, "", 0, nullptr));
    EXPECT_EQ(command_arguments(odd), expected_arguments(odd));
}

}  // namespace
