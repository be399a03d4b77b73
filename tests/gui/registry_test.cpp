// The widget registry: a wrong name says so, the lookup climbs from menus and
// named parents, and a widget taken out lives as long as its window.
#include "gui_support.h"
#include "interface.h"
#include "main.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Registry : public gui_test {};

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
