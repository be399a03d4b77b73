// Where the translations come from, and what a wrong catalogue can do.
#include "config_home.h"
#include "options.h"
#include "test_catalogue.h"
#include "test_pty.h"
#include "translate.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

class Translate : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_unsetenv("LANGUAGE");
        ASSERT_NE(std::setlocale(LC_ALL, test_german_locale), nullptr)
            << test_german_locale << " is not generated (scripts/bootstrap does it)";
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

// A catalogue in the working directory, where a firmware update wants the
// user's avrdude.conf, is never read: the program's own catalogue is.
TEST_F(Translate, ProgramReadsItsOwnCataloguesNotTheWorkingDirectorys)
{
    test_folder planted;
    test_compile_catalogue(planted.path(), "de", {{"Preview", "planted"}});
    test_working_directory inside(planted.path());

    ASSERT_TRUE(translate_bind_beside_program());
    EXPECT_STREQ(_("Preview"), "Vorschau");
}

TEST_F(Translate, WrongCatalogueCannotBreakFormatsOrMoveTheSettingsFile)
{
    test_folder catalogues;
    test_compile_catalogue(catalogues.path(), "de",
                           {{"Preview", "Vorschau"},
                            {" Operation failed: %s", "%s%s%n"},
                            {" Filename intercepted: %s", " %d"},
                            {" Device reboot failed: %s", " %1$s"},
                            {" Failed: %s", " %s %%"},
                            {"zr7k8-client", ".."},
                            {"user.ini", "../../.profile"}});
    ASSERT_TRUE(translate_bind(catalogues.path().c_str()));

    EXPECT_STREQ(_("Preview"), "Vorschau");
    EXPECT_STREQ(_(" Operation failed: %s"), " Operation failed: %s");
    EXPECT_STREQ(_(" Filename intercepted: %s"), " Filename intercepted: %s");
    EXPECT_STREQ(_(" Device reboot failed: %s"), " Device reboot failed: %s");
    EXPECT_STREQ(_(" Failed: %s"), " %s %%");

    test_config_reset();
    options_module_init();
    EXPECT_EQ(options_config_file_path(), test_config_file());
}

}  // namespace
