// The client in German: from the build tree, and installed into a prefix.
#include "gui_support.h"
#include "main.h"
#include "support.h"
#include "test_catalogue.h"
#include "test_pty.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <string>

namespace {

class German : public gui_test {
protected:
    void SetUp() override
    {
        test_gui_init(test_german_locale);
        gui_test::SetUp();
    }
};

TEST_F(German, ToolbarAndStatusBarSpeakGerman)
{
    GtkWidget *preview = lookup_widget(window_main, "toolbutton_main_monitor");
    EXPECT_STREQ(gtk_tool_button_get_label(GTK_TOOL_BUTTON(preview)), "Vorschau");

    // The default port does not exist: the pattern is German, the worker's
    // reason stays English.
    test_click(preview);
    EXPECT_TRUE(test_pump_until([] { return g_str_has_prefix(test_statusbar_text().c_str(), " Vorgang"); }));
    EXPECT_EQ(test_statusbar_text(), " Vorgang fehlgeschlagen: Unable to access communication port to device");
}

// mapped_title_of, with no care for windows that go meanwhile.
std::string mapped_title_among(Display *display, pid_t pid)
{
    const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
    const Atom name_atom = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    std::string title;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return title;
    for (unsigned index = 0; index < count && title.empty(); ++index) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[index], &attributes) || attributes.map_state != IsViewable)
            continue;
        Atom type = None;
        int format = 0;
        unsigned long items = 0, left = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, children[index], pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &left, &data) == Success &&
            data && items == 1 && pid_t(*reinterpret_cast<unsigned long *>(data)) == pid) {
            XFree(data);
            data = nullptr;
            if (XGetWindowProperty(display, children[index], name_atom, 0, 1024, False, utf8, &type, &format,
                                   &items, &left, &data) == Success && data)
                title.assign(reinterpret_cast<char *>(data), items);
        }
        if (data)
            XFree(data);
    }
    if (children)
        XFree(children);
    return title;
}

int ignore_x_error(Display *, XErrorEvent *)
{
    return 0;
}

// The title of the top-level X window that process `pid` has mapped, or ""
// while it has none. Another test's window may go while it is looked at (a
// BadWindow error, which would end this process): such errors are ignored.
std::string mapped_title_of(Display *display, pid_t pid)
{
    XSync(display, False);
    auto previous = XSetErrorHandler(ignore_x_error);
    std::string title = mapped_title_among(display, pid);
    XSync(display, False);
    XSetErrorHandler(previous);
    return title;
}

// Installed into a prefix, started from a folder that holds a planted
// catalogue, the client shows the German title of its own catalogue.
TEST_F(German, InstalledClientFindsItsCataloguesBesideItself)
{
    const std::string english = "ZR7K8 USB serial client - Copyright (C) 2026 The ZR7K8 client authors";
    const std::string german = gtk_window_get_title(GTK_WINDOW(window_main));
    ASSERT_NE(german, english);

    test_folder prefix, planted, home;
    const char *install[] = {ZR7K8_CMAKE_COMMAND, "--install", ZR7K8_BINARY_DIR, "--prefix", prefix.path().c_str(),
                             nullptr};
    gint status = -1;
    ASSERT_TRUE(g_spawn_sync(nullptr, const_cast<char **>(install), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr,
                             nullptr, nullptr, nullptr, &status, nullptr) &&
                g_spawn_check_wait_status(status, nullptr));
    test_compile_catalogue(planted.path(), "de", {{english, "planted"}});

    gchar **environment = g_get_environ();
    environment = g_environ_setenv(environment, "LC_ALL", test_german_locale, TRUE);
    environment = g_environ_unsetenv(environment, "LANGUAGE");
    environment = g_environ_setenv(environment, "XDG_CONFIG_HOME", home.path().c_str(), TRUE);
    const std::string program = prefix.path() + "/bin/zr7k8-client";
    const char *argv[] = {program.c_str(), nullptr};
    GPid client = 0;
    const bool started = g_spawn_async(planted.path().c_str(), const_cast<char **>(argv), environment,
                                       G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &client, nullptr);
    g_strfreev(environment);
    ASSERT_TRUE(started);

    Display *display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    std::string title;
    int ended = 0;
    const gint64 deadline = g_get_monotonic_time() + 20 * G_USEC_PER_SEC;
    while (title.empty() && ended == 0 && g_get_monotonic_time() < deadline) {
        g_usleep(20000);
        title = mapped_title_of(display, client);
        ended = waitpid(client, &status, WNOHANG);
    }
    XCloseDisplay(display);
    if (ended == 0) {
        kill(client, SIGTERM);
        waitpid(client, &status, 0);
    }
    g_spawn_close_pid(client);
    EXPECT_EQ(ended, 0) << "the installed client ended by itself";
    EXPECT_EQ(title, german);
}

}  // namespace
