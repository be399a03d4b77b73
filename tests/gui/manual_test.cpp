// zr7k8-client(1) explains every button the main window has: each label of
// the toolbar and of the buttons below the tape contents list stands in the
// manual page.
#include "config_home.h"
#include "gui_support.h"
#include "main.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Manual : public gui_test {};

// A label as the manual writes it: without the mnemonic's underscore and
// the dialog's dots.
std::string as_written(const char *label)
{
    std::string text;
    for (const char *c = label; *c; ++c)
        if (*c != '_')
            text += *c;
    if (text.ends_with("..."))
        text.resize(text.size() - 3);
    return text;
}

std::vector<std::string> labels_beside(const char *widget)
{
    std::vector<std::string> labels;
    GList *children = gtk_container_get_children(
        GTK_CONTAINER(gtk_widget_get_parent(lookup_widget(window_main, widget))));
    for (GList *child = children; child; child = child->next) {
        if (GTK_IS_TOOL_BUTTON(child->data))
            labels.push_back(as_written(gtk_tool_button_get_label(GTK_TOOL_BUTTON(child->data))));
        else if (GTK_IS_BUTTON(child->data))
            labels.push_back(as_written(gtk_button_get_label(GTK_BUTTON(child->data))));
    }
    g_list_free(children);
    return labels;
}

TEST_F(Manual, NamesEveryButtonOfTheMainWindow)
{
    const std::string manual = test_read_file(ZR7K8_SOURCE_DIR "/doc/zr7k8-client.1");
    std::vector<std::string> labels = labels_beside("toolbutton_main_settings");
    const std::vector<std::string> below_list = labels_beside("button_main_save_program");
    labels.insert(labels.end(), below_list.begin(), below_list.end());
    ASSERT_GT(below_list.size(), 1u);
    for (const std::string &label : labels)
        EXPECT_NE(manual.find(label), std::string::npos) << label;
}

}  // namespace
