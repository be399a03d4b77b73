#include "gui_support.h"

#include "callbacks_shell.h"
#include "link/serial.h"
#include "config_home.h"
#include "main.h"
#include "support.h"

#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <glib/gstdio.h>

#include <cstdio>

namespace {

std::vector<std::string> logged;

void record_log(const gchar *domain, GLogLevelFlags level, const gchar *message, gpointer)
{
    if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
        logged.push_back(std::string(domain ? domain : "") + ": " + message);
        std::fprintf(stderr, "logged: %s: %s\n", domain ? domain : "", message);
        return;
    }
    g_log_default_handler(domain, level, message, nullptr);
}

gint64 deadline_after(int ms)
{
    return g_get_monotonic_time() + gint64(ms) * 1000;
}

// ---- _NET_WM_STATE request recorder ----

bool wm_recording = false;
std::vector<test_wm_state_request> wm_requests;

GtkWidget *window_for_xid(Window xid)
{
    GtkWidget *found = nullptr;
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *item = toplevels; item; item = item->next) {
        GtkWidget *window = GTK_WIDGET(item->data);
        GdkWindow *gdk_window = gtk_widget_get_window(window);
        if (gdk_window && GDK_WINDOW_XID(gdk_window) == xid)
            found = window;
    }
    g_list_free(toplevels);
    return found;
}

GdkFilterReturn watch_wm_state_requests(GdkXEvent *native, GdkEvent *, gpointer)
{
    auto *event = static_cast<XEvent *>(native);
    if (event->type != ClientMessage)
        return GDK_FILTER_CONTINUE;
    GdkDisplay *display = gdk_display_get_default();
    if (event->xclient.message_type != gdk_x11_get_xatom_by_name_for_display(display, "_NET_WM_STATE"))
        return GDK_FILTER_CONTINUE;
    test_wm_state_request request;
    request.window = window_for_xid(event->xclient.window);
    request.action = event->xclient.data.l[0];
    request.first = gdk_x11_get_xatom_name_for_display(display, Atom(event->xclient.data.l[1]));
    wm_requests.push_back(request);
    return GDK_FILTER_CONTINUE;
}

void collect_labels(GtkWidget *widget, GtkLabel **found)
{
    if (*found)
        return;
    if (GTK_IS_LABEL(widget)) {
        *found = GTK_LABEL(widget);
        return;
    }
    if (GTK_IS_CONTAINER(widget)) {
        GList *children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList *item = children; item && !*found; item = item->next)
            collect_labels(GTK_WIDGET(item->data), found);
        g_list_free(children);
    }
}

}  // namespace

void test_gui_init(const char *locale)
{
    static bool done = false;
    if (done)
        return;
    done = true;
    g_setenv("LC_ALL", locale, TRUE);
    g_unsetenv("LANGUAGE");
    // GTK+ 2.24 leaks the name of its own settings folder when its file
    // chooser has to create that folder (a shadowed variable where it saves
    // its settings), which LeakSanitizer reports. Any machine where GTK+ has
    // run once has the folder; so do the GUI tests.
    g_mkdir((test_config_home() + "/gtk-2.0").c_str(), 0700);
    g_log_set_default_handler(record_log, nullptr);
    int argc = 1;
    static char name[] = "gui_tests";
    static char *args[] = {name, nullptr};
    char **argv = args;
    gtk_init(&argc, &argv);
}

void test_shell_start(const char *settings_file_text)
{
    test_gui_init();
    test_config_reset();
    if (settings_file_text)
        test_write_file(test_config_file(), settings_file_text);
    flag_abort_requested = 0;
    flag_windows_always_on_top = 0;
    serial_set_timeout(test_serial_timeout_ms);
    int argc = 1;
    static char name[] = "zr7k8-client";
    static char *args[] = {name, nullptr};
    char **argv = args;
    main_start_up(&argc, &argv);
    test_pump_until([] { return gtk_widget_get_mapped(window_main) != FALSE; });
}

void test_shell_stop()
{
    // Pop-up windows (tooltips, combo lists) belong to GTK+ or to widgets
    // that take them along; only the program's own windows and dialogs go.
    GList *toplevels = gtk_window_list_toplevels();
    GList *own = nullptr;
    for (GList *item = toplevels; item; item = item->next) {
        GtkWindowType type = GTK_WINDOW_TOPLEVEL;
        g_object_get(item->data, "type", &type, nullptr);
        if (type == GTK_WINDOW_TOPLEVEL)
            own = g_list_prepend(own, g_object_ref(item->data));
    }
    g_list_free(toplevels);
    for (GList *item = own; item; item = item->next) {
        GtkWidget *window = GTK_WIDGET(item->data);
        g_signal_handlers_disconnect_by_func(window, reinterpret_cast<gpointer>(quit_program), nullptr);
        gtk_widget_destroy(window);
        g_object_unref(window);
    }
    g_list_free(own);
    window_main = window_format = window_connection_settings = nullptr;
    test_pump_pending();
    serial_set_timeout(SERIAL_TIMEOUT_MS);
}

void gui_test::SetUp()
{
    test_shell_start();
}

void gui_test::TearDown()
{
    test_shell_stop();
    std::vector<std::string> left = test_log_take();
    for (const std::string &message : left)
        ADD_FAILURE() << "unexpected log message: " << message;
}

void test_pump_pending()
{
    for (int round = 0; round < 3; ++round) {
        gdk_display_sync(gdk_display_get_default());
        while (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
    }
}

bool test_pump_until(const std::function<bool()> &condition, int deadline_ms)
{
    gint64 deadline = deadline_after(deadline_ms);
    for (;;) {
        test_pump_pending();
        if (condition())
            return true;
        if (g_get_monotonic_time() > deadline)
            return false;
        g_usleep(2000);
    }
}

bool test_run_main_loop(const std::function<void()> &step, int deadline_ms)
{
    struct run_state {
        std::function<void()> step;
        bool deadline_hit = false;
    } state{step};
    g_idle_add(
        [](gpointer data) -> gboolean {
            static_cast<run_state *>(data)->step();
            return FALSE;
        },
        &state);
    guint guard = g_timeout_add(
        deadline_ms,
        [](gpointer data) -> gboolean {
            static_cast<run_state *>(data)->deadline_hit = true;
            gtk_main_quit();
            return FALSE;
        },
        &state);
    gtk_main();
    if (!state.deadline_hit)
        g_source_remove(guard);
    return !state.deadline_hit;
}

void test_end_loop_later(bool *reached)
{
    *reached = false;
    g_idle_add(
        [](gpointer data) -> gboolean {
            *static_cast<bool *>(data) = true;
            gtk_main_quit();
            return FALSE;
        },
        reached);
}

GtkWidget *test_find_window(const char *registry_name)
{
    GtkWidget *found = nullptr;
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *item = toplevels; item; item = item->next) {
        GtkWidget *window = GTK_WIDGET(item->data);
        if (gtk_widget_get_mapped(window) && g_object_get_data(G_OBJECT(window), registry_name) == window)
            found = window;
    }
    g_list_free(toplevels);
    return found;
}

GtkWidget *test_find_window_by_title(const char *title)
{
    GtkWidget *found = nullptr;
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *item = toplevels; item; item = item->next) {
        GtkWidget *window = GTK_WIDGET(item->data);
        const gchar *window_title = gtk_window_get_title(GTK_WINDOW(window));
        if (gtk_widget_get_visible(window) && window_title && g_str_equal(window_title, title))
            found = window;
    }
    g_list_free(toplevels);
    return found;
}

std::shared_ptr<test_window_watch> test_when_window_shown(const char *registry_name,
                                                          std::function<void(GtkWidget *)> action,
                                                          int deadline_ms)
{
    struct watch_state {
        std::shared_ptr<test_window_watch> watch = std::make_shared<test_window_watch>();
        std::string name;
        std::function<void(GtkWidget *)> action;
        gint64 deadline;
    };
    auto *state = new watch_state;
    state->name = registry_name;
    state->action = std::move(action);
    state->deadline = deadline_after(deadline_ms);
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, 10,
        [](gpointer data) -> gboolean {
            auto *watching = static_cast<watch_state *>(data);
            if (GtkWidget *window = test_find_window(watching->name.c_str())) {
                watching->watch->answered++;
                watching->action(window);
                return FALSE;
            }
            return g_get_monotonic_time() < watching->deadline;
        },
        state, [](gpointer data) { delete static_cast<watch_state *>(data); });
    return state->watch;
}

std::shared_ptr<test_window_watch> test_answer_dialog(const char *dialog_name, const char *button_name,
                                                      int deadline_ms)
{
    std::string button = button_name;
    return test_when_window_shown(
        dialog_name,
        [button](GtkWidget *dialog) { test_click(lookup_widget(dialog, button.c_str())); },
        deadline_ms);
}

void test_send_wm_delete(GtkWidget *window)
{
    GdkWindow *gdk_window = gtk_widget_get_window(window);
    g_return_if_fail(gdk_window != nullptr);
    GdkDisplay *display = gdk_window_get_display(gdk_window);
    XClientMessageEvent message{};
    message.type = ClientMessage;
    message.window = GDK_WINDOW_XID(gdk_window);
    message.message_type = gdk_x11_get_xatom_by_name_for_display(display, "WM_PROTOCOLS");
    message.format = 32;
    message.data.l[0] = long(gdk_x11_get_xatom_by_name_for_display(display, "WM_DELETE_WINDOW"));
    message.data.l[1] = CurrentTime;
    XSendEvent(GDK_DISPLAY_XDISPLAY(display), message.window, False, NoEventMask,
               reinterpret_cast<XEvent *>(&message));
    XFlush(GDK_DISPLAY_XDISPLAY(display));
}

void test_click(GtkWidget *widget)
{
    if (GTK_IS_TOOL_BUTTON(widget))
        widget = gtk_bin_get_child(GTK_BIN(widget));
    g_return_if_fail(GTK_IS_BUTTON(widget));
    if (gtk_widget_is_sensitive(widget))
        gtk_button_clicked(GTK_BUTTON(widget));
}

void test_send_key(GtkWidget *window, guint keyval)
{
    GdkWindow *gdk_window = gtk_widget_get_window(window);
    g_return_if_fail(gdk_window != nullptr);
    Display *xdisplay = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(gdk_window));
    XKeyEvent key{};
    key.display = xdisplay;
    key.window = GDK_WINDOW_XID(gdk_window);
    key.root = GDK_WINDOW_XID(gdk_get_default_root_window());
    key.subwindow = None;
    key.time = CurrentTime;
    key.x = key.y = key.x_root = key.y_root = 1;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(xdisplay, keyval);
    key.type = KeyPress;
    XSendEvent(xdisplay, key.window, True, KeyPressMask, reinterpret_cast<XEvent *>(&key));
    key.type = KeyRelease;
    XSendEvent(xdisplay, key.window, True, KeyReleaseMask, reinterpret_cast<XEvent *>(&key));
    XFlush(xdisplay);
}

bool test_window_has_wm_state(GtkWidget *window, const char *state_atom)
{
    GdkWindow *gdk_window = gtk_widget_get_window(window);
    if (!gdk_window)
        return false;
    GdkDisplay *display = gdk_window_get_display(gdk_window);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    int result = XGetWindowProperty(GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(gdk_window),
                                    gdk_x11_get_xatom_by_name_for_display(display, "_NET_WM_STATE"), 0, 64,
                                    False, XA_ATOM, &type, &format, &count, &remaining, &data);
    bool found = false;
    if (result == Success && type == XA_ATOM && format == 32) {
        Atom wanted = gdk_x11_get_xatom_by_name_for_display(display, state_atom);
        auto *atoms = reinterpret_cast<Atom *>(data);
        for (unsigned long index = 0; index < count; ++index)
            found = found || atoms[index] == wanted;
    }
    if (data)
        XFree(data);
    return found;
}

void test_wm_requests_start()
{
    if (!wm_recording) {
        wm_recording = true;
        GdkWindow *root = gdk_get_default_root_window();
        gdk_window_set_events(root, GdkEventMask(gdk_window_get_events(root) | GDK_SUBSTRUCTURE_MASK));
        gdk_window_add_filter(nullptr, watch_wm_state_requests, nullptr);
    }
    test_pump_pending();
    wm_requests.clear();
}

std::vector<test_wm_state_request> test_wm_requests_take()
{
    std::vector<test_wm_state_request> taken;
    taken.swap(wm_requests);
    return taken;
}

std::string test_statusbar_text()
{
    GtkWidget *statusbar = lookup_widget(window_main, "statusbar_main");
    return test_label_text(gtk_statusbar_get_message_area(GTK_STATUSBAR(statusbar)));
}

GtkLabel *test_find_label(GtkWidget *widget)
{
    GtkLabel *found = nullptr;
    collect_labels(widget, &found);
    return found;
}

std::string test_label_text(GtkWidget *widget)
{
    GtkLabel *label = test_find_label(widget);
    return label ? gtk_label_get_text(label) : "";
}

GdkPixbuf *test_window_pixbuf(GtkWidget *window)
{
    if (!gtk_widget_get_mapped(window))
        return nullptr;
    GdkWindow *gdk_window = gtk_widget_get_window(window);
    int width = 0, height = 0;
    gdk_drawable_get_size(gdk_window, &width, &height);
    return gdk_pixbuf_get_from_drawable(nullptr, gdk_window, nullptr, 0, 0, 0, 0, width, height);
}

std::vector<std::string> test_log_take()
{
    std::vector<std::string> taken;
    taken.swap(logged);
    return taken;
}
