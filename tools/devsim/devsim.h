// The simulated ZR7K8-LC device on a pseudo-terminal.
//
// devsim_start() opens a pseudo-terminal and plays the device's console on
// its master side from a thread of this process; the client opens the slave
// side (devsim_port_name) as it would open the device's serial port. The
// simulator never holds the slave open itself, so it sees the client come and
// go: each time the client opens the port it sends its greeting (if any) and
// the prompt "\r\n> ". It echoes every command line (CR answered with CR LF)
// and records it; answers "u F M V" with "OK\r\n", a sample stream and the
// success marker "OK!\r\n> " (or the failure marker); and on "b" vanishes
// (its pseudo-terminal closed, the symbolic link removed) and comes back a
// moment later on a new pseudo-terminal behind the same link. Other lines get
// "?" and the prompt. Options inject the faults that tests need.
//
// Thread rules: every function may be called from any thread; none blocks
// longer than its timeout (devsim_stop: about as long as the simulator takes
// to notice, well under a second).
#pragma once

#include "devsim_stream.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The line rate of 921600 baud, 10 bits per byte.
constexpr unsigned devsim_line_rate = 92160;

enum class devsim_echo { normal, none, wrong };

struct devsim_options {
    // When set, a symbolic link at this path always leads to the current
    // pseudo-terminal; it is absent while the device is away. A path that
    // exists and is not a symbolic link is refused. Fixed at start.
    std::string link_path;

    // Console.
    std::string greeting;             // sent before the prompt when a client opens
    bool send_prompt = true;          // false: the device never shows its prompt
    unsigned prompt_delay_ms = 0;     // pause between the open and the greeting
    devsim_echo echo = devsim_echo::normal;   // wrong: CR answered with LF CR

    // Sampling runs.
    // Makes the stream of each run; empty: devsim_builtin_tape.
    std::function<std::unique_ptr<devsim_stream>(const devsim_sampling_request &)> stream;
    unsigned bytes_per_second = devsim_line_rate;   // 0: as fast as the client reads
    unsigned paced_write_size = 256;  // bytes per write while pacing (a USB device sends 64)
    bool fail_run = false;            // end with "KO!\r\n> " instead of "OK!\r\n> "
    bool send_ack = true;             // false: no "OK\r\n", no stream, silence
    size_t garbage_before_ack = 0;    // bytes of noise between the echo and "OK\r\n"
    // Pauses in the stream: after `first` stream bytes, `second` ms of silence.
    std::vector<std::pair<size_t, unsigned>> pauses;
    long unplug_after_bytes = -1;     // >= 0: the device vanishes after that many stream bytes
    unsigned split_marker_at = 0;     // 1..6: the marker goes out in two writes, cut there
    unsigned split_marker_pause_ms = 100;   // silence between the two writes
    std::string after_marker;         // stray bytes sent right behind the marker, in the same write

    // How long the device is away after "b" or an unplug.
    unsigned absent_ms = 300;

    // Called on the simulator's thread with one line per event (client came
    // or went, command received, run ended, device away or back).
    std::function<void(const std::string &)> log;
};

struct devsim_status {
    std::vector<std::string> commands;   // every command line received, without its CR
    std::string pty_path;                // the current slave, e.g. "/dev/pts/4"; "" while away
    unsigned generation = 0;             // pseudo-terminals made so far (1 after the start)
    bool client_connected = false;       // the port is open on the client's side
    unsigned sessions = 0;               // times a client opened the port
    unsigned runs_started = 0;           // sampling commands executed
    unsigned runs_finished = 0;          // result markers sent
    size_t run_bytes_sent = 0;           // stream bytes of the current or last run
    devsim_sampling_request last_request;
    unsigned reboots = 0;                // "b" commands obeyed
    unsigned unplugs = 0;                // unplugs by the fault option
};

struct devsim;

// Opens the pseudo-terminal, makes the link, starts the thread. Returns
// nullptr (and a reason in *error when given) on failure.
devsim *devsim_start(const devsim_options &options = {}, std::string *error = nullptr);

// Stops the thread, closes the pseudo-terminal, removes the link, frees sim.
void devsim_stop(devsim *sim);

// The name a client should open: the link path when one was asked for, else
// the current pseudo-terminal's path.
std::string devsim_port_name(devsim *sim);

// Replaces the options (the link path excepted). A client already connected
// keeps its greeting and echo mode until it reconnects; a sampling run uses
// the options of the moment its command arrived.
void devsim_set_options(devsim *sim, const devsim_options &options);

// A copy of the status as it is now.
devsim_status devsim_get_status(devsim *sim);

// Waits until `until` holds for the status, at most `timeout_ms`; returns
// whether it held.
bool devsim_wait(devsim *sim, const std::function<bool(const devsim_status &)> &until, unsigned timeout_ms);

// Waits until `command` (without its CR) has been received at least once
// since the start; returns whether it has.
bool devsim_wait_for_command(devsim *sim, const std::string &command, unsigned timeout_ms);

// The success and failure markers that end a run.
extern const char devsim_success_marker[8];
extern const char devsim_failure_marker[8];
