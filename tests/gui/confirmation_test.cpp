// The yes/no question: every way out but Yes counts as No.
#include "common.h"
#include "gui_support.h"
#include "main.h"
#include "support.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <string>

namespace {

class Confirmation : public gui_test {};

TEST_F(Confirmation, YesGivesOneAndNoGivesZero)
{
    auto yes = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_yes");
    EXPECT_EQ(common_get_user_confirmation("First?"), 1);
    EXPECT_EQ(yes->answered, 1);

    auto no = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_no");
    EXPECT_EQ(common_get_user_confirmation("Second?"), 0);
    EXPECT_EQ(no->answered, 1);
}

TEST_F(Confirmation, WindowManagerCloseAndEscapeGiveZero)
{
    auto closed = test_when_window_shown("dialog_yes_no_confirmation", test_send_wm_delete);
    EXPECT_EQ(common_get_user_confirmation("Close me?"), 0);
    EXPECT_EQ(closed->answered, 1);

    auto escaped = test_when_window_shown("dialog_yes_no_confirmation",
                                          [](GtkWidget *dialog) { test_send_key(dialog, GDK_Escape); });
    EXPECT_EQ(common_get_user_confirmation("Escape?"), 0);
    EXPECT_EQ(escaped->answered, 1);
}

TEST_F(Confirmation, MessageIsMarkupAndEachQuestionHasItsOwnDialog)
{
    std::string shown;
    bool bold = false;
    bool first_destroyed = false;
    auto first = test_when_window_shown("dialog_yes_no_confirmation", [&](GtkWidget *dialog) {
        g_signal_connect(dialog, "destroy", G_CALLBACK(+[](GtkWidget *, gpointer data) {
                             *static_cast<bool *>(data) = true;
                         }), &first_destroyed);
        GtkLabel *label = GTK_LABEL(lookup_widget(dialog, "label_yes_no_confirmation"));
        shown = gtk_label_get_text(label);
        if (PangoAttrList *attributes = pango_layout_get_attributes(gtk_label_get_layout(label))) {
            PangoAttrIterator *iterator = pango_attr_list_get_iterator(attributes);
            bold = pango_attr_iterator_get(iterator, PANGO_ATTR_WEIGHT) != nullptr;
            pango_attr_iterator_destroy(iterator);
        }
        EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "Confirmation request");
        EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), nullptr);
        test_click(lookup_widget(dialog, "button_yes_no_confirmation_no"));
    });

    EXPECT_EQ(common_get_user_confirmation("<b>Really</b> &amp; truly?"), 0);

    ASSERT_EQ(first->answered, 1);
    EXPECT_EQ(shown, "Really & truly?");
    EXPECT_TRUE(bold);
    EXPECT_TRUE(first_destroyed);
    EXPECT_EQ(test_find_window("dialog_yes_no_confirmation"), nullptr);

    auto second = test_answer_dialog("dialog_yes_no_confirmation", "button_yes_no_confirmation_yes");
    EXPECT_EQ(common_get_user_confirmation("Again?"), 1);
    EXPECT_EQ(second->answered, 1);
}

}  // namespace
