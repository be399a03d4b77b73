// The widget registry: every name a handler looks up is there, with the right
// kind of widget, and a wrong name says so.
#include "gui_support.h"
#include "interface.h"
#include "main.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

class Registry : public gui_test {};

using name_and_type = std::pair<const char *, GType>;

std::vector<name_and_type> main_window_names()
{
    return {
        {"window_main", GTK_TYPE_WINDOW},
        {"vbox_main_top_most", GTK_TYPE_VBOX},
        {"toolbar_main", GTK_TYPE_TOOLBAR},
        {"toolbutton_main_settings", GTK_TYPE_TOOL_BUTTON},
        {"separatortoolitem_main_1", GTK_TYPE_SEPARATOR_TOOL_ITEM},
        {"toolbutton_main_format", GTK_TYPE_TOOL_BUTTON},
        {"toolbutton_main_monitor", GTK_TYPE_TOOL_BUTTON},
        {"toolbutton_main_dump", GTK_TYPE_TOOL_BUTTON},
        {"toolbutton_main_abort", GTK_TYPE_TOOL_BUTTON},
        {"separatortoolitem_main_2", GTK_TYPE_SEPARATOR_TOOL_ITEM},
        {"toolbutton_main_reboot", GTK_TYPE_TOOL_BUTTON},
        {"toolbutton_main_firmware_update", GTK_TYPE_TOOL_BUTTON},
        {"separatortoolitem_main_3", GTK_TYPE_SEPARATOR_TOOL_ITEM},
        {"toolbutton_main_about", GTK_TYPE_TOOL_BUTTON},
        {"separatortoolitem_main_4", GTK_TYPE_SEPARATOR_TOOL_ITEM},
        {"toolbutton_main_stay_on_top", GTK_TYPE_TOGGLE_TOOL_BUTTON},
        {"toolbutton_main_quit", GTK_TYPE_TOOL_BUTTON},
        {"drawingarea_main", GTK_TYPE_DRAWING_AREA},
        {"hbox_status", GTK_TYPE_HBOX},
        {"statusbar_main", GTK_TYPE_STATUSBAR},
        {"frame_flash", GTK_TYPE_FRAME},
        {"alignment_flash", GTK_TYPE_ALIGNMENT},
        {"drawingarea_flash", GTK_TYPE_DRAWING_AREA},
        {"tooltips", GTK_TYPE_TOOLTIPS},
    };
}

std::vector<name_and_type> format_window_names()
{
    return {
        {"window_format", GTK_TYPE_WINDOW},
        {"table_format_top_most", GTK_TYPE_TABLE},
        {"label_format_machine_type", GTK_TYPE_LABEL},
        {"label_format_video_standard", GTK_TYPE_LABEL},
        {"comboboxentry_format_machine_type", GTK_TYPE_COMBO_BOX},
        {"comboboxentry_format_video_standard", GTK_TYPE_COMBO_BOX},
        {"checkbutton_format_use_half_waves", GTK_TYPE_CHECK_BUTTON},
        {"checkbutton_format_use_rising_edge", GTK_TYPE_CHECK_BUTTON},
        {"tooltips", GTK_TYPE_TOOLTIPS},
    };
}

std::vector<name_and_type> connection_settings_names()
{
    return {
        {"window_connection_settings", GTK_TYPE_WINDOW},
        {"vbox_connection_settings_top_most", GTK_TYPE_VBOX},
        {"table_connection_settings_inputs", GTK_TYPE_TABLE},
        {"label_connection_settings_select", GTK_TYPE_LABEL},
        {"entry_connection_settings_device_port", GTK_TYPE_ENTRY},
        {"label_connection_settings_bootloader_port", GTK_TYPE_LABEL},
        {"entry_connection_settings_bootloader_port", GTK_TYPE_ENTRY},
        {"button_connection_settings_ok", GTK_TYPE_BUTTON},
        {"alignment_connection_settings_ok", GTK_TYPE_ALIGNMENT},
        {"hbox_connection_settings_ok", GTK_TYPE_HBOX},
        {"image_connection_settings_ok", GTK_TYPE_IMAGE},
        {"label_connection_settings_ok", GTK_TYPE_LABEL},
        {"tooltips", GTK_TYPE_TOOLTIPS},
    };
}

std::vector<name_and_type> confirmation_names()
{
    return {
        {"dialog_yes_no_confirmation", GTK_TYPE_DIALOG},
        {"vbox_yes_no_confirmation", GTK_TYPE_VBOX},
        {"label_yes_no_confirmation", GTK_TYPE_LABEL},
        {"hbuttonbox_yes_no_confirmation", GTK_TYPE_HBUTTON_BOX},
        {"button_yes_no_confirmation_yes", GTK_TYPE_BUTTON},
        {"button_yes_no_confirmation_no", GTK_TYPE_BUTTON},
    };
}

// Every registered widget is found from the window and from a widget deep
// inside it, and is part of that window (the registry is not fooled by a
// widget of the same name elsewhere).
void expect_registered(GtkWidget *window, const std::vector<name_and_type> &names, const char *inner_name)
{
    GtkWidget *inner = lookup_widget(window, inner_name);
    ASSERT_NE(inner, nullptr);
    for (const auto &[name, type] : names) {
        GtkWidget *found = lookup_widget(window, name);
        ASSERT_NE(found, nullptr) << name;
        EXPECT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(found, type)) << name << " is a " << G_OBJECT_TYPE_NAME(found);
        EXPECT_EQ(lookup_widget(inner, name), found) << name;
        if (GTK_IS_WIDGET(found)) {
            EXPECT_EQ(gtk_widget_get_toplevel(found), window) << name;
        }
    }
    EXPECT_TRUE(test_log_take().empty());
}

TEST_F(Registry, MainWindowRegistersEveryNamedWidget)
{
    expect_registered(window_main, main_window_names(), "drawingarea_flash");
}

TEST_F(Registry, SamplingOptionsWindowRegistersEveryNamedWidget)
{
    expect_registered(window_format, format_window_names(), "checkbutton_format_use_rising_edge");
}

TEST_F(Registry, ConnectionSettingsWindowRegistersEveryNamedWidget)
{
    expect_registered(window_connection_settings, connection_settings_names(), "label_connection_settings_ok");
}

TEST_F(Registry, ConfirmationDialogRegistersEveryNamedWidget)
{
    GtkWidget *dialog = create_dialog_yes_no_confirmation();
    expect_registered(dialog, confirmation_names(), "button_yes_no_confirmation_no");
    EXPECT_EQ(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES),
              lookup_widget(dialog, "button_yes_no_confirmation_yes"));
    EXPECT_EQ(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO),
              lookup_widget(dialog, "button_yes_no_confirmation_no"));
    gtk_widget_destroy(dialog);
}

TEST_F(Registry, NameOfAnotherWindowGivesNullAndAWarning)
{
    GtkWidget *inner = lookup_widget(window_connection_settings, "entry_connection_settings_device_port");
    test_log_take();

    EXPECT_EQ(lookup_widget(window_connection_settings, "toolbutton_main_dump"), nullptr);
    EXPECT_EQ(lookup_widget(inner, "statusbar_main"), nullptr);

    std::vector<std::string> warnings = test_log_take();
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], ": Widget not found: toolbutton_main_dump");
    EXPECT_EQ(warnings[1], ": Widget not found: statusbar_main");
}

// The climb to the window also passes from a pop-up menu to the widget it is
// attached to, and from a widget without a parent to the object named under
// "GladeParentKey".
TEST_F(Registry, LookupClimbsFromAttachedMenusAndNamedParents)
{
    GtkWidget *statusbar = lookup_widget(window_main, "statusbar_main");
    GtkWidget *menu = gtk_menu_new();
    GtkWidget *item = gtk_menu_item_new_with_label("item");
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    gtk_menu_attach_to_widget(GTK_MENU(menu), lookup_widget(window_main, "drawingarea_main"), nullptr);
    EXPECT_EQ(lookup_widget(item, "statusbar_main"), statusbar);

    GtkWidget *loose = gtk_label_new("loose");
    g_object_ref_sink(loose);
    g_object_set_data(G_OBJECT(loose), "GladeParentKey", lookup_widget(window_main, "hbox_status"));
    EXPECT_EQ(lookup_widget(loose, "statusbar_main"), statusbar);
    g_object_unref(loose);
    gtk_menu_detach(GTK_MENU(menu));
    EXPECT_TRUE(test_log_take().empty());
}

TEST_F(Registry, WidgetTakenOutOfItsContainerLivesAsLongAsItsWindow)
{
    GtkWidget *statusbar = lookup_widget(window_main, "statusbar_main");
    bool finalized = false;
    g_object_weak_ref(
        G_OBJECT(statusbar), [](gpointer data, GObject *) { *static_cast<bool *>(data) = true; }, &finalized);

    gtk_container_remove(GTK_CONTAINER(lookup_widget(window_main, "hbox_status")), statusbar);
    test_pump_pending();

    EXPECT_FALSE(finalized);
    EXPECT_EQ(lookup_widget(window_main, "statusbar_main"), statusbar);
    EXPECT_TRUE(GTK_IS_STATUSBAR(statusbar));

    // The window's registry holds the last reference; it goes with the window.
    test_shell_stop();
    EXPECT_TRUE(finalized);
}

}  // namespace
