// Helpers for tests that drive the client's real windows under Xvfb.
//
// Typical use:
//
//   class MyTest : public gui_test {};       // starts the client as main does
//   TEST_F(MyTest, Something) {
//       auto answer = test_answer_dialog("dialog_yes_no_confirmation",
//                                        "button_yes_no_confirmation_no");
//       test_click(lookup_widget(window_main, "toolbutton_main_quit"));
//       EXPECT_EQ(answer->answered, 1);
//       EXPECT_EQ(test_statusbar_text(), "");
//   }
//
// Many tests run in one process (tests/CMakeLists.txt), one after the other
// in any order: what the client keeps for a run lives on its windows and
// goes with them, so each test_shell_start is a first start.
//
// Everything here runs on the test's main thread, which is the interface
// thread of the client under test. Waits use generous deadlines that only
// catch hangs; no test result depends on timing.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// ---- Process set-up -------------------------------------------------------

// Makes the process's private configuration folder (config_home.h) before
// GLib can cache the real one, starts recording GLib warnings and criticals
// (test_log_take), and initialises GTK+ in `locale` (LC_ALL; the client then
// shows its texts in that language when its catalogue has it), whatever the
// environment says. Safe to call more than once; the first call decides.
void test_gui_init(const char *locale = "C.UTF-8");

// How long a serial read or write waits at most while the client runs under
// test (serial_set_timeout): the console's prompt wait at each start of an
// operation reads until its time is up, so a short one keeps each short.
const unsigned test_serial_timeout_ms = 50;

// Starts the client as its main does, up to the main loop: empties the
// configuration folder (a first start, unless `settings_file_text` is given,
// which is then written as user.ini first), resets the application flags to 0,
// hands in test_serial_timeout_ms and runs main_start_up. Returns when the
// main window is mapped.
void test_shell_start(const char *settings_file_text = nullptr);

// Destroys every top-level window still there (the three windows, dialogs)
// without running quit_program, drops their events and puts the serial time
// limit back.
void test_shell_stop();

// Fixture: test_shell_start in SetUp; in TearDown, test_shell_stop and a
// check that no GLib warning or critical was logged that the test did not
// take with test_log_take.
class gui_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// ---- The main loop --------------------------------------------------------

// Dispatches everything pending, after a round trip to the X server so that
// the events caused by earlier requests have arrived. Never blocks long.
void test_pump_pending();

// Dispatches events until `condition` holds or `deadline_ms` passes.
// Returns whether the condition held.
bool test_pump_until(const std::function<bool()> &condition, int deadline_ms = 10000);

// Runs the GTK+ main loop (gtk_main). `step` runs once from an idle callback
// inside it. Returns true when something other than the deadline ended the
// loop (gtk_main_quit by the code under test, or by the step itself); false
// when the deadline had to end it.
bool test_run_main_loop(const std::function<void()> &step, int deadline_ms = 20000);

// For a step of test_run_main_loop that must not end the loop: queues an
// idle callback that sets *reached to true and then ends the loop itself. If
// the code under test had already ended the loop, the callback never runs
// and *reached stays false.
void test_end_loop_later(bool *reached);

// ---- Windows and dialogs --------------------------------------------------

// The mapped top-level window registered on itself under `registry_name`
// (for example "dialog_yes_no_confirmation"), or the visible one with the
// given title; null when there is none.
GtkWidget *test_find_window(const char *registry_name);
GtkWidget *test_find_window_by_title(const char *title);

// Watches for a window to be mapped and acts on it once, from a timeout on
// the main loop, so that it also works while the code under test waits in a
// modal dialog's nested loop. `answered` counts the actions taken (0 or 1);
// the watch gives up after `deadline_ms`.
struct test_window_watch {
    int answered = 0;
};
std::shared_ptr<test_window_watch> test_when_window_shown(const char *registry_name,
                                                          std::function<void(GtkWidget *)> action,
                                                          int deadline_ms = 10000);

// Clicks `button_name` (looked up on the dialog) as soon as the dialog
// `dialog_name` is shown.
std::shared_ptr<test_window_watch> test_answer_dialog(const char *dialog_name, const char *button_name,
                                                      int deadline_ms = 10000);

// Closes a window the way a window manager does: a WM_DELETE_WINDOW client
// message to its X window, which GTK+ turns into "delete_event". The window
// must be realized. The event is handled on the next pump.
void test_send_wm_delete(GtkWidget *window);

// A signal handler connected for as long as the guard lives: a recorder that
// points at a test's local variables is disconnected before they go, so the
// main loop that the fixture pumps afterwards never reaches them. Declare it
// after the variables it records into.
class test_connection {
public:
    test_connection(gpointer instance, const char *signal, GCallback handler, gpointer data)
        : instance_(instance), id_(g_signal_connect(instance, signal, handler, data)) {}
    ~test_connection()
    {
        if (g_signal_handler_is_connected(instance_, id_))
            g_signal_handler_disconnect(instance_, id_);
    }
    test_connection(const test_connection &) = delete;
    test_connection &operator=(const test_connection &) = delete;

private:
    gpointer instance_;
    gulong id_;
};

// Clicks a button or a tool button the way a mouse click ends: "clicked" on
// the real GtkButton (inside a tool button, its own button, which toggles a
// toggle tool button). Insensitive widgets ignore the click, as on screen.
void test_click(GtkWidget *widget);

// Sends a key press and release (keyval from gdk/gdkkeysyms.h) to a mapped
// top-level window as X events, the way a keyboard's keys reach the focused
// window; GTK+ hands them to the window's focus widget. Handled on the next
// pump (or by the nested loop of a modal dialog).
void test_send_key(GtkWidget *window, guint keyval);

// ---- Window manager state -------------------------------------------------
// There is no window manager under Xvfb, so keep-above is observed at the
// X level: a hidden window carries it in its _NET_WM_STATE property when it
// is mapped; a mapped window asks the window manager with a _NET_WM_STATE
// client message to the root window, which the recorder below sees.

// Whether the window's _NET_WM_STATE property lists `state_atom` (for example
// "_NET_WM_STATE_ABOVE"). The window must be realized.
bool test_window_has_wm_state(GtkWidget *window, const char *state_atom);

// One _NET_WM_STATE request: action 1 adds, 0 removes, 2 toggles.
struct test_wm_state_request {
    GtkWidget *window;  // the GTK+ window it is about, or null
    long action;
    std::string first;  // first state atom's name
};

// Starts recording _NET_WM_STATE requests sent to the root window (once per
// process; later calls clear the record).
void test_wm_requests_start();
// The requests recorded since the last start or take.
std::vector<test_wm_state_request> test_wm_requests_take();

// ---- Reading widgets ------------------------------------------------------

// The text the main window's status bar shows ("" when empty).
std::string test_statusbar_text();

// The first GtkLabel found inside `widget` (itself included), depth first;
// and its text.
GtkLabel *test_find_label(GtkWidget *widget);
std::string test_label_text(GtkWidget *widget);

// The window's current on-screen picture (read back from the X server), or
// null when the window is not mapped. Free with g_object_unref.
GdkPixbuf *test_window_pixbuf(GtkWidget *window);

// ---- Log ------------------------------------------------------------------

// GLib warnings and criticals logged since the last take, as
// "<domain>: <message>" ("" for the default domain), oldest first.
std::vector<std::string> test_log_take();
