// The settings file on a real disk, in a private XDG_CONFIG_HOME.
#include "options.h"

#include "config_home.h"
#include "test_pty.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

const char default_file_text[] =
    "# ZR7K8 USB serial client config file - do NOT edit\n"
    "\n"
    "[connection]\n"
    "device_port=COM3\n"
    "bootloader_port=COM4\n";

class Options : public ::testing::Test {
protected:
    void SetUp() override { test_config_reset(); }
};

void set_settings(const char *device_port, const char *bootloader_port)
{
    g_free(options_device_port_string);
    options_device_port_string = g_strdup(device_port);
    g_free(options_bootloader_port_string);
    options_bootloader_port_string = g_strdup(bootloader_port);
}

TEST_F(Options, FirstStartCreatesPrivateFolderAndFileWithDefaults)
{
    ASSERT_FALSE(g_file_test(test_config_folder().c_str(), G_FILE_TEST_EXISTS));

    options_module_init();

    EXPECT_STREQ(options_device_port_string, "COM3");
    EXPECT_STREQ(options_bootloader_port_string, "COM4");
    EXPECT_EQ(std::string(options_config_file_path()), test_config_file());
    struct stat folder_status {};
    ASSERT_EQ(stat(test_config_folder().c_str(), &folder_status), 0);
    EXPECT_TRUE(S_ISDIR(folder_status.st_mode));
    EXPECT_EQ(folder_status.st_mode & 0777, 0700u);
    EXPECT_EQ(test_read_file(test_config_file()), default_file_text);
}

TEST_F(Options, SingleKeyFileGivesItsValueAndTheOtherDefaultWithoutRewriting)
{
    const std::string text = "[connection]\ndevice_port=COM7\n";
    test_write_file(test_config_file(), text);

    options_module_init();

    EXPECT_STREQ(options_device_port_string, "COM7");
    EXPECT_STREQ(options_bootloader_port_string, "COM4");
    EXPECT_EQ(test_read_file(test_config_file()), text);
}

TEST_F(Options, MissingGroupGivesBothDefaults)
{
    test_write_file(test_config_file(), "[other]\ndevice_port=COM9\nbootloader_port=COM8\n");

    options_module_init();

    EXPECT_STREQ(options_device_port_string, "COM3");
    EXPECT_STREQ(options_bootloader_port_string, "COM4");
}

TEST_F(Options, EmptyValueGivesEmptySetting)
{
    test_write_file(test_config_file(), "[connection]\ndevice_port=\nbootloader_port=COM4\n");

    options_module_init();

    EXPECT_STREQ(options_device_port_string, "");
    EXPECT_STREQ(options_bootloader_port_string, "COM4");
}

TEST_F(Options, UnloadableFileLeavesDefaultsAndIsNotRewritten)
{
    const std::string text = "this is not a key file\n[connection\ndevice_port=COM7\n";
    test_write_file(test_config_file(), text);

    options_module_init();

    EXPECT_STREQ(options_device_port_string, "COM3");
    EXPECT_STREQ(options_bootloader_port_string, "COM4");
    EXPECT_EQ(test_read_file(test_config_file()), text);
}

TEST_F(Options, ValueThatIsNotTextKeepsTheSettingItHad)
{
    test_write_file(test_config_file(), "[connection]\ndevice_port=COM\xff\nbootloader_port=COM6\n");

    options_module_init();

    EXPECT_STREQ(options_device_port_string, "COM3");
    EXPECT_STREQ(options_bootloader_port_string, "COM6");
}

TEST_F(Options, SaveWritesStoredValuesUnderTheSameComment)
{
    options_module_init();
    set_settings("COM5", "COM6");

    EXPECT_TRUE(options_save_to_file());

    EXPECT_EQ(test_read_file(test_config_file()),
              "# ZR7K8 USB serial client config file - do NOT edit\n"
              "\n"
              "[connection]\n"
              "device_port=COM5\n"
              "bootloader_port=COM6\n");
}

// Plain values must give the text that parsing the four plain lines gives, so
// files written before escaping was introduced and after look alike.
TEST_F(Options, PlainValuesGiveTheTextOfTheUnescapedLines)
{
    options_module_init();
    set_settings("/dev/ttyACM0", "ttyACM1");
    ASSERT_TRUE(options_save_to_file());

    GKeyFile *parsed = g_key_file_new();
    ASSERT_TRUE(g_key_file_load_from_data(parsed,
                                          "# ZR7K8 USB serial client config file - do NOT edit\n"
                                          "[connection]\n"
                                          "device_port=/dev/ttyACM0\n"
                                          "bootloader_port=ttyACM1\n",
                                          -1, G_KEY_FILE_KEEP_COMMENTS, nullptr));
    gchar *expected = g_key_file_to_data(parsed, nullptr, nullptr);
    EXPECT_EQ(test_read_file(test_config_file()), expected);
    g_free(expected);
    g_key_file_free(parsed);
}

TEST_F(Options, AwkwardValuesSurviveSaveAndLoad)
{
    const char *const values[][2] = {
        {"  leading spaces", "trailing spaces  "},
        {"\\\\.\\COM10", "back\\slash\\"},
        {"line\nbreak", "tab\there"},
        {"", " "},
        {"#not a comment", "[not a group]"},
        {"caf\xc3\xa9 = ok", "=;,"},
    };
    options_module_init();
    for (const auto &pair : values) {
        set_settings(pair[0], pair[1]);
        ASSERT_TRUE(options_save_to_file()) << pair[0];
        set_settings("stale", "stale");

        options_load_from_file();

        EXPECT_STREQ(options_device_port_string, pair[0]);
        EXPECT_STREQ(options_bootloader_port_string, pair[1]);
    }
}

TEST_F(Options, FailedSaveReportsFalseAndKeepsSettings)
{
    options_module_init();
    set_settings("COM5", "COM6");
    ASSERT_EQ(g_unlink(test_config_file().c_str()), 0);
    ASSERT_EQ(g_rmdir(test_config_folder().c_str()), 0);

    EXPECT_FALSE(options_save_to_file());

    EXPECT_STREQ(options_device_port_string, "COM5");
    EXPECT_STREQ(options_bootloader_port_string, "COM6");
    EXPECT_FALSE(g_file_test(test_config_file().c_str(), G_FILE_TEST_EXISTS));
}

// A configuration folder that is missing is made with its parents; the
// working folder, and a file of another program there, are never used.
TEST_F(Options, MissingConfigurationFolderIsMadeAndTheWorkingFolderIsNotUsed)
{
    test_folder work;
    test_working_directory in_work(work.path());
    test_write_file(work.path() + "/user.ini", "[connection]\ndevice_port=OTHER\n");
    ASSERT_EQ(g_rmdir(test_config_home().c_str()), 0);

    options_module_init();

    EXPECT_STREQ(options_device_port_string, "COM3");
    EXPECT_EQ(std::string(options_config_file_path()), test_config_file());
    EXPECT_EQ(test_read_file(test_config_file()), default_file_text);
    EXPECT_EQ(test_read_file(work.path() + "/user.ini"), "[connection]\ndevice_port=OTHER\n");
}

TEST_F(Options, ByteOrderMarkIsAccepted)
{
    test_write_file(test_config_file(), "\xEF\xBB\xBF[connection]\ndevice_port=COM7\nbootloader_port=COM8\n");

    options_module_init();

    EXPECT_STREQ(options_device_port_string, "COM7");
    EXPECT_STREQ(options_bootloader_port_string, "COM8");
    EXPECT_EQ(options_load_problem(), nullptr);
}

// A file that cannot be read as settings may hold the user's real port in a
// form not understood here: a save (as on Quit) must not replace it.
TEST_F(Options, FileThatCannotBeReadIsNeverWrittenOver)
{
    const std::string texts[] = {
        "[connection]\ndevice_port=/dev/ttyS\xE9\nbootloader_port=COM6\n",      // Latin-1
        "[connection]\ndevice_port=COM7\n#" + std::string(1024 * 1024, 'x') + "\n",  // over 1 MB
        "this is not a key file\n",
    };
    for (const std::string &text : texts) {
        test_write_file(test_config_file(), text);
        options_module_init();
        EXPECT_NE(options_load_problem(), nullptr) << text.substr(0, 40);
        EXPECT_STRNE(options_device_port_string, "COM7") << "an oversized file is not read";
        set_settings("COM5", "COM6");

        EXPECT_FALSE(options_save_to_file());

        EXPECT_EQ(test_read_file(test_config_file()), text);
    }
}

// Saving replaces the file at the end of a symbolic link with the mode it
// had; a file without write permission is left alone.
TEST_F(Options, SaveKeepsLinkModeAndReadOnlyFiles)
{
    test_folder elsewhere;
    const std::string real = elsewhere.path() + "/real.ini";
    test_write_file(real, default_file_text);
    ASSERT_EQ(g_chmod(real.c_str(), 0600), 0);
    test_write_file(test_config_file(), "");
    ASSERT_EQ(g_unlink(test_config_file().c_str()), 0);
    ASSERT_EQ(symlink(real.c_str(), test_config_file().c_str()), 0);
    options_module_init();
    set_settings("COM5", "COM6");

    ASSERT_TRUE(options_save_to_file());

    EXPECT_TRUE(g_file_test(test_config_file().c_str(), G_FILE_TEST_IS_SYMLINK));
    EXPECT_NE(test_read_file(real).find("device_port=COM5\n"), std::string::npos);
    struct stat real_status {};
    ASSERT_EQ(stat(real.c_str(), &real_status), 0);
    EXPECT_EQ(real_status.st_mode & 0777, 0600u);

    ASSERT_EQ(g_chmod(real.c_str(), 0444), 0);
    set_settings("COM1", "COM2");
    EXPECT_FALSE(options_save_to_file());
    EXPECT_NE(test_read_file(real).find("device_port=COM5\n"), std::string::npos);
}

}  // namespace
