// The about dialog.
#include "gui_support.h"
#include "main.h"
#include "support.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char about_title[] = "About ZR7K8 USB serial client";

class About : public gui_test {
protected:
    static GtkWidget *open()
    {
        test_click(lookup_widget(window_main, "toolbutton_main_about"));
        GtkWidget *dialog = nullptr;
        EXPECT_TRUE(test_pump_until([&] {
            dialog = test_find_window_by_title(about_title);
            return dialog && gtk_widget_get_mapped(dialog);
        }));
        return dialog;
    }

    // The texts of the dialog's labels and its link's address, in any layout.
    static std::vector<std::string> texts(GtkWidget *widget)
    {
        std::vector<std::string> found;
        if (GTK_IS_LINK_BUTTON(widget))
            found.push_back(gtk_link_button_get_uri(GTK_LINK_BUTTON(widget)));
        if (GTK_IS_LABEL(widget))
            found.push_back(gtk_label_get_text(GTK_LABEL(widget)));
        if (GTK_IS_CONTAINER(widget)) {
            GList *children = gtk_container_get_children(GTK_CONTAINER(widget));
            for (GList *child = children; child; child = child->next) {
                const std::vector<std::string> inner = texts(GTK_WIDGET(child->data));
                found.insert(found.end(), inner.begin(), inner.end());
            }
            g_list_free(children);
        }
        return found;
    }
};

TEST_F(About, ShowsHeadingBuildDescriptionCopyrightAndLink)
{
    GtkWidget *dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(window_main));

    const std::vector<std::string> shown = texts(dialog);
    auto shows = [&](const std::string &text) { return std::find(shown.begin(), shown.end(), text) != shown.end(); };
    EXPECT_TRUE(shows("ZR7K8 USB serial client " ZR7K8_VERSION));
    EXPECT_TRUE(shows("Copyright (C) 2026 The ZR7K8 client authors"));
    EXPECT_TRUE(shows("https://zr7k8.example/"));

    // GRegex rather than std::regex: libstdc++'s regex trips g++ 12's
    // maybe-uninitialized warning in every build.
    GRegex *form = g_regex_new("^Multi-threaded GUI client for the ZR7K8-LC hardware\n\n"
                               "Compiled on: [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}\n"
                               "Compiled with gcc version: [0-9]+\\.[0-9]+\\.[0-9]+\n"
                               "GTK\\+ runtime in use: ([0-9]+)\\.([0-9]+)\\.([0-9]+)$",
                               G_REGEX_DOLLAR_ENDONLY, GRegexMatchFlags(0), nullptr);
    ASSERT_NE(form, nullptr);
    GMatchInfo *parts = nullptr;
    auto description = std::find_if(shown.begin(), shown.end(), [&](const std::string &text) {
        g_match_info_free(parts);
        parts = nullptr;
        return g_regex_match(form, text.c_str(), GRegexMatchFlags(0), &parts);
    });
    auto part = [&](int n) {
        gchar *text = g_match_info_fetch(parts, n);
        const unsigned long value = std::stoul(text);
        g_free(text);
        return value;
    };
    const bool matched = description != shown.end();
    if (matched) {
        EXPECT_EQ(part(1), gtk_major_version);
        EXPECT_EQ(part(2), gtk_minor_version);
        EXPECT_EQ(part(3), gtk_micro_version);
    }
    g_match_info_free(parts);
    g_regex_unref(form);
    EXPECT_TRUE(matched) << "no label holds the build description";
}

TEST_F(About, EnterRightAfterOpeningActivatesOkAndClosesTheDialog)
{
    GtkWidget *dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(dialog)),
              gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK));
    bool destroyed = false;
    g_signal_connect(dialog, "destroy", G_CALLBACK(+[](GtkWidget *, gpointer data) {
                         *static_cast<bool *>(data) = true;
                     }), &destroyed);

    test_send_key(dialog, GDK_Return);

    EXPECT_TRUE(test_pump_until([&] { return destroyed; }));
}

TEST_F(About, OpensAboveOtherWindowsWhenStayOnTopIsOn)
{
    GtkWidget *plain = open();
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(test_window_has_wm_state(plain, "_NET_WM_STATE_ABOVE"));
    gtk_widget_destroy(plain);

    test_click(lookup_widget(window_main, "toolbutton_main_stay_on_top"));
    GtkWidget *above = open();
    ASSERT_NE(above, nullptr);
    EXPECT_TRUE(test_window_has_wm_state(above, "_NET_WM_STATE_ABOVE"));
}

// The picture shows the cassette: mostly opaque light body with a dark
// outline, on a transparent background.
TEST_F(About, CassettePictureHasATransparentBackgroundAndALightBody)
{
    GdkPixbuf *picture = gdk_pixbuf_new_from_xpm_data(tape_icon_xpm);
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(gdk_pixbuf_get_n_channels(picture), 4);
    const guchar *pixels = gdk_pixbuf_get_pixels(picture);
    int stride = gdk_pixbuf_get_rowstride(picture);
    int transparent = 0, light = 0, dark = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const guchar *pixel = pixels + y * stride + x * 4;
            if (pixel[3] == 0)
                ++transparent;
            else if (pixel[0] > 200 && pixel[1] > 200 && pixel[2] > 200)
                ++light;
            else if (pixel[0] < 60 && pixel[1] < 60 && pixel[2] < 60)
                ++dark;
        }
    }
    EXPECT_EQ(pixels[3], 0) << "corner is transparent";
    EXPECT_GT(transparent, 48 * 48 / 5);
    EXPECT_GT(light, 48 * 48 / 8);
    EXPECT_GT(dark, 100);
    g_object_unref(picture);
}

}  // namespace
