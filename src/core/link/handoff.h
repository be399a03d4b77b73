// Worker-to-interface hand-off.
//
// Core code that runs on a worker thread never calls the user interface. It
// queues a callback and its data with handoff_post(); the front end decides how
// the callback reaches its main loop (gdk_threads_add_idle in the program, a
// recorder in tests). Callbacks queued by one thread run in the order queued.
// The data is a string constant, a heap block the callback frees, or nullptr.
#pragma once

#include <glib.h>

using handoff_poster = void (*)(GSourceFunc callback, gpointer data);

// Installs the poster; call once at start-up, before any worker exists.
// Passing nullptr restores the default, which queues on GLib's default main
// context with g_idle_add.
void handoff_set_poster(handoff_poster poster);

// Queues callback(data) for the interface thread. Never blocks. Any thread.
void handoff_post(GSourceFunc callback, gpointer data);
