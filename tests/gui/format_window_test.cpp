// The sampling options window: four values in memory and the greying rule.
#include "callbacks_format.h"
#include "gui_support.h"
#include "main.h"
#include "support.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

namespace {

class FormatWindow : public gui_test {
protected:
    static GtkWidget *widget(const char *name) { return lookup_widget(window_format, name); }
    static GtkComboBox *machine_combo() { return GTK_COMBO_BOX(widget("comboboxentry_format_machine_type")); }
    static GtkComboBox *video_combo() { return GTK_COMBO_BOX(widget("comboboxentry_format_video_standard")); }
    static GtkToggleButton *both_edges() { return GTK_TOGGLE_BUTTON(widget("checkbutton_format_use_half_waves")); }
    static GtkToggleButton *rising() { return GTK_TOGGLE_BUTTON(widget("checkbutton_format_use_rising_edge")); }
    static bool sensitive(GtkToggleButton *button) { return gtk_widget_get_sensitive(GTK_WIDGET(button)) != FALSE; }
    static std::string entry_text(GtkComboBox *combo)
    {
        return gtk_entry_get_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(combo))));
    }
};

TEST_F(FormatWindow, ItemsAreInTheirFixedOrder)
{
    const char *const machines[] = {"COMMODORE 64", "VIC 20", "C16/+4", "GENERIC"};
    for (int index = 0; index < 4; ++index) {
        gtk_combo_box_set_active(machine_combo(), index);
        EXPECT_EQ(entry_text(machine_combo()), machines[index]);
    }
    const char *const standards[] = {"PAL", "NTSC"};
    for (int index = 0; index < 2; ++index) {
        gtk_combo_box_set_active(video_combo(), index);
        EXPECT_EQ(entry_text(video_combo()), standards[index]);
    }
}

TEST_F(FormatWindow, GreyingRuleForEveryMachineType)
{
    struct expectation {
        bool both_edges, rising;
    };
    const expectation rule[] = {{false, false}, {false, false}, {true, false}, {true, true}};
    // Walk up and down, so that each state is reached from both sides.
    const int order[] = {0, 1, 2, 3, 2, 1, 0, 3, 0};
    for (int machine : order) {
        gtk_combo_box_set_active(machine_combo(), machine);
        EXPECT_EQ(callbacks_format_get_values().machine_type, machine);
        EXPECT_EQ(sensitive(both_edges()), rule[machine].both_edges) << "machine " << machine;
        EXPECT_EQ(sensitive(rising()), rule[machine].rising) << "machine " << machine;
    }
}

TEST_F(FormatWindow, CheckButtonsKeepTheirStateAndValueWhileGreyed)
{
    gtk_combo_box_set_active(machine_combo(), 3);
    test_click(GTK_WIDGET(both_edges()));
    test_click(GTK_WIDGET(rising()));
    EXPECT_EQ(callbacks_format_get_values().dump_half_waves, 1);
    EXPECT_EQ(callbacks_format_get_values().rising_active, 1);

    gtk_combo_box_set_active(machine_combo(), 0);

    EXPECT_FALSE(sensitive(both_edges()));
    EXPECT_FALSE(sensitive(rising()));
    EXPECT_TRUE(gtk_toggle_button_get_active(both_edges()));
    EXPECT_TRUE(gtk_toggle_button_get_active(rising()));
    sampling_option_values values = callbacks_format_get_values();
    EXPECT_EQ(values.machine_type, 0);
    EXPECT_EQ(values.dump_half_waves, 1);
    EXPECT_EQ(values.rising_active, 1);

    // A greyed button ignores the click, so the value stays.
    test_click(GTK_WIDGET(both_edges()));
    EXPECT_EQ(callbacks_format_get_values().dump_half_waves, 1);

    gtk_combo_box_set_active(machine_combo(), 3);
    test_click(GTK_WIDGET(rising()));
    EXPECT_EQ(callbacks_format_get_values().rising_active, 0);
}

TEST_F(FormatWindow, TypedTextCountsOnlyWhenItNamesAnItem)
{
    gtk_combo_box_set_active(machine_combo(), 3);
    gtk_combo_box_set_active(video_combo(), 1);
    GtkEntry *machine_entry = GTK_ENTRY(gtk_bin_get_child(GTK_BIN(machine_combo())));

    gtk_entry_set_text(machine_entry, "AMIGA");
    // While typing, the choice in force stays.
    EXPECT_EQ(callbacks_format_get_values().machine_type, 3);
    EXPECT_TRUE(sensitive(rising()));
    gtk_widget_activate(GTK_WIDGET(machine_entry));
    EXPECT_EQ(entry_text(machine_combo()), "GENERIC");
    EXPECT_EQ(callbacks_format_get_values().machine_type, 3);

    gtk_entry_set_text(machine_entry, " vic 20 ");
    gtk_widget_activate(GTK_WIDGET(machine_entry));
    EXPECT_EQ(entry_text(machine_combo()), "VIC 20");
    EXPECT_EQ(callbacks_format_get_values().machine_type, 1);
    EXPECT_FALSE(sensitive(both_edges()));

    // Closing the window ends an edit too.
    test_click(lookup_widget(window_main, "toolbutton_main_format"));
    gtk_entry_set_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(video_combo()))), "SECAM");
    gtk_widget_hide(window_format);
    EXPECT_EQ(entry_text(video_combo()), "NTSC");
    EXPECT_EQ(callbacks_format_get_values().video_standard, 1);
}

TEST_F(FormatWindow, WindowManagerCloseHidesAndReopeningShowsThePreviousChoices)
{
    test_click(lookup_widget(window_main, "toolbutton_main_format"));
    ASSERT_TRUE(test_pump_until([] { return gtk_widget_get_mapped(window_format) != FALSE; }));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window_format)), "Sampling options");
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(window_format)));
    gtk_combo_box_set_active(machine_combo(), 1);
    gtk_combo_box_set_active(video_combo(), 1);
    GtkWidget *before = window_format;

    test_send_wm_delete(window_format);
    ASSERT_TRUE(test_pump_until([] { return !gtk_widget_get_visible(window_format); }));
    test_click(lookup_widget(window_main, "toolbutton_main_format"));
    ASSERT_TRUE(test_pump_until([] { return gtk_widget_get_mapped(window_format) != FALSE; }));

    EXPECT_EQ(window_format, before);
    EXPECT_EQ(entry_text(machine_combo()), "VIC 20");
    EXPECT_EQ(entry_text(video_combo()), "NTSC");
    EXPECT_EQ(callbacks_format_get_values().machine_type, 1);
}

TEST_F(FormatWindow, StaysInFrontOfTheMainWindowAndEscapeClosesItKeepingTheChoice)
{
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(window_format)), GTK_WINDOW(window_main));
    test_click(lookup_widget(window_main, "toolbutton_main_format"));
    ASSERT_TRUE(test_pump_until([] { return gtk_widget_get_mapped(window_format) != FALSE; }));
    gtk_combo_box_set_active(machine_combo(), 2);

    test_send_key(window_format, GDK_KEY_Escape);

    EXPECT_TRUE(test_pump_until([] { return !gtk_widget_get_visible(window_format); }, 3000));
    EXPECT_EQ(callbacks_format_get_values().machine_type, 2);
    EXPECT_EQ(entry_text(machine_combo()), "C16/+4");
}

}  // namespace
