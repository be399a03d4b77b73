// The connection settings window: OK stores and saves, the window manager's
// close discards.
#include "callbacks_settings.h"
#include "config_home.h"
#include "fake_port_tree.h"
#include "gui_support.h"
#include "main.h"
#include "options.h"
#include "support.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using port_rows = std::vector<std::pair<std::string, std::string>>;

class SettingsWindow : public gui_test {
protected:
    static GtkEntry *entry(const char *name) { return GTK_ENTRY(lookup_widget(window_connection_settings, name)); }
    static std::string device_entry() { return gtk_entry_get_text(entry("entry_connection_settings_device_port")); }
    static std::string bootloader_entry()
    {
        return gtk_entry_get_text(entry("entry_connection_settings_bootloader_port"));
    }
    static void open()
    {
        test_click(lookup_widget(window_main, "toolbutton_main_settings"));
        ASSERT_TRUE(test_pump_until([] { return gtk_widget_get_mapped(window_connection_settings) != FALSE; }));
    }
    static void type(const char *name, const char *text) { gtk_entry_set_text(entry(name), text); }
    static void click_ok() { test_click(lookup_widget(window_connection_settings, "button_connection_settings_ok")); }

    // The rows of the completion model behind an entry: path and description.
    static port_rows completion_rows(const char *name)
    {
        GtkTreeModel *model = gtk_entry_completion_get_model(gtk_entry_get_completion(entry(name)));
        port_rows rows;
        GtkTreeIter iter;
        for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
             more = gtk_tree_model_iter_next(model, &iter)) {
            gchar *path = nullptr, *description = nullptr;
            gtk_tree_model_get(model, &iter, PORT_COMPLETION_COLUMN_PATH, &path, PORT_COMPLETION_COLUMN_DESCRIPTION,
                               &description, -1);
            rows.emplace_back(path, description);
            g_free(path);
            g_free(description);
        }
        return rows;
    }
};

TEST_F(SettingsWindow, OpensWithTheStoredSettingsAsAModalWindow)
{
    open();

    EXPECT_EQ(device_entry(), "COM3");
    EXPECT_EQ(bootloader_entry(), "COM4");
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window_connection_settings)), "Connection settings");
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(window_connection_settings)));
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window_connection_settings)),
              GTK_WIDGET(entry("entry_connection_settings_device_port")));
}

TEST_F(SettingsWindow, OkStoresBothEntriesHidesAndSaves)
{
    open();
    type("entry_connection_settings_device_port", "COM5");
    type("entry_connection_settings_bootloader_port", "COM6");

    click_ok();

    EXPECT_STREQ(options_device_port_string, "COM5");
    EXPECT_STREQ(options_bootloader_port_string, "COM6");
    EXPECT_FALSE(gtk_widget_get_visible(window_connection_settings));
    EXPECT_EQ(test_read_file(test_config_file()),
              "# ZR7K8 USB serial client config file - do NOT edit\n\n[connection]\n"
              "device_port=COM5\nbootloader_port=COM6\n");
}

TEST_F(SettingsWindow, WindowManagerCloseDiscardsTheEdits)
{
    open();
    type("entry_connection_settings_device_port", "ttyEDITED");

    test_send_wm_delete(window_connection_settings);
    ASSERT_TRUE(test_pump_until([] { return !gtk_widget_get_visible(window_connection_settings); }));

    EXPECT_STREQ(options_device_port_string, "COM3");
    EXPECT_NE(test_read_file(test_config_file()).find("device_port=COM3\n"), std::string::npos);
    open();
    EXPECT_EQ(device_entry(), "COM3");
}

TEST_F(SettingsWindow, StaysInFrontOfTheMainWindowAndEscapeDiscardsTheEditsAsCloseDoes)
{
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(window_connection_settings)), GTK_WINDOW(window_main));
    open();
    type("entry_connection_settings_device_port", "ttyEDITED");

    test_send_key(window_connection_settings, GDK_KEY_Escape);

    EXPECT_TRUE(test_pump_until([] { return !gtk_widget_get_visible(window_connection_settings); }, 3000));
    EXPECT_STREQ(options_device_port_string, "COM3");
}

TEST_F(SettingsWindow, EmptyEntriesGiveEmptySettingsAndAnEmptyFileValue)
{
    open();
    type("entry_connection_settings_device_port", "");
    type("entry_connection_settings_bootloader_port", "");

    click_ok();

    EXPECT_STREQ(options_device_port_string, "");
    EXPECT_STREQ(options_bootloader_port_string, "");
    std::string text = test_read_file(test_config_file());
    EXPECT_NE(text.find("device_port=\n"), std::string::npos);
    EXPECT_NE(text.find("bootloader_port=\n"), std::string::npos);
}

TEST_F(SettingsWindow, PortEntriesOfferThePortsPresentEachTimeTheWindowOpens)
{
    fake_port_tree tree;
    tree.add_port("ttyACM0", "16c0:05e1", "ZR7K8", "ZR7K8-LC");
    tree.add_port("ttyUSB0");
    callbacks_settings_set_port_roots(tree.dev().c_str(), tree.sys().c_str());

    open();
    const port_rows two = {{tree.dev() + "/ttyACM0", "ZR7K8 ZR7K8-LC"}, {tree.dev() + "/ttyUSB0", ""}};
    EXPECT_EQ(completion_rows("entry_connection_settings_device_port"), two);
    EXPECT_EQ(completion_rows("entry_connection_settings_bootloader_port"), two);
    EXPECT_EQ(device_entry(), "COM3");

    test_send_wm_delete(window_connection_settings);
    ASSERT_TRUE(test_pump_until([] { return !gtk_widget_get_visible(window_connection_settings); }));
    tree.add_port("ttyACM1", "2341:0036", "", "Bootloader");
    open();
    EXPECT_EQ(completion_rows("entry_connection_settings_bootloader_port"),
              (port_rows{two[0], {tree.dev() + "/ttyACM1", "Bootloader"}, two[1]}));
    callbacks_settings_set_port_roots("/dev", "/sys");
}

// Spaces and backslashes are kept as typed, through the file and back.
TEST_F(SettingsWindow, TextIsKeptExactlyAsTypedAcrossARestart)
{
    open();
    type("entry_connection_settings_device_port", "  /dev/ttyACM0 ");
    type("entry_connection_settings_bootloader_port", "\\\\.\\COM12");
    click_ok();
    EXPECT_STREQ(options_device_port_string, "  /dev/ttyACM0 ");

    std::string saved = test_read_file(test_config_file());
    test_shell_stop();
    test_shell_start(saved.c_str());
    open();

    EXPECT_EQ(device_entry(), "  /dev/ttyACM0 ");
    EXPECT_EQ(bootloader_entry(), "\\\\.\\COM12");
}

}  // namespace
