// What the simulator's two halves share: the pseudo-terminal glue
// (devsim.cpp) and the console it plays (devsim_console.cpp).
#pragma once

#include "devsim.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using devsim_clock = std::chrono::steady_clock;

// How a wait or a stretch of the conversation ended.
enum class devsim_event {
    ok,             // what was waited for happened
    timeout,        // the deadline passed
    client_left,    // the client closed the port (it may already be back)
    device_gone,    // the device vanishes: reboot or unplug
    stop,           // devsim_stop was called
};

struct devsim {
    std::string link_path;   // fixed at start
    int wake = -1;           // event descriptor, readable once a stop is asked
    int watch_fd = -1;       // inotify: opens and closes of the slave
    int watch = -1;          // the current slave's watch
    int master = -1;         // -1 while the device is away
    // A close of the slave was read from the watch and no open after it yet.
    // Kept from one reading of the watch to the next: a client that closes
    // and reopens at once may have its open queued only after the close was
    // read (and after the master had stopped reporting the hang-up).
    bool close_pending = false;
    std::thread thread;

    std::mutex mutex;        // guards what follows
    std::condition_variable changed;
    devsim_options options;
    devsim_status status;
};

// Waits until the master reports `events` (0: only watch the client), the
// deadline passes (max(): never), the client leaves, or a stop is asked.
devsim_event devsim_wait_master(devsim *sim, short events, devsim_clock::time_point deadline);

// Writes all `count` bytes to the client, waiting for room as needed.
devsim_event devsim_send(devsim *sim, const void *bytes, size_t count);

// Stays silent for `ms` (or until `until`), still watching the client.
devsim_event devsim_pause(devsim *sim, unsigned ms);
devsim_event devsim_pause_until(devsim *sim, devsim_clock::time_point until);

// Changes the status under the lock, wakes the waiters, then logs `line`.
void devsim_note(devsim *sim, const std::function<void(devsim_status &)> &change, const std::string &line);

// A copy of the options of the moment.
devsim_options devsim_current_options(devsim *sim);

// Plays the console from the client's open until it leaves, the device
// vanishes or a stop is asked (never returns ok or timeout).
devsim_event devsim_play_session(devsim *sim);
