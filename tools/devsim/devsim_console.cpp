// The console that the simulated device plays for a client: prompt, echo,
// commands, and the sampling run with its stream, pacing and faults.
#include "devsim_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <poll.h>
#include <unistd.h>

static const char devsim_prompt[] = "\r\n> ";
static const char devsim_ack[] = "OK\r\n";

// Longest command line kept; the rest of a longer line is echoed, not kept.
static const size_t devsim_line_limit = 4096;
// Bytes per write when sending flat out, and the most while pacing.
static const size_t devsim_fast_chunk = 4096;
// Time between obeying "b" and vanishing.
static const unsigned devsim_reboot_delay_ms = 50;

static devsim_event devsim_send_text(devsim *sim, const char *text)
{
    return devsim_send(sim, text, strlen(text));
}

// Noise that never contains the acknowledgement.
static devsim_event devsim_send_garbage(devsim *sim, size_t count)
{
    static const char noise[] = "\x01#K?\xfe\r\x80O~";
    std::string bytes;
    for (size_t i = 0; i < count; i++)
        bytes += noise[i % (sizeof noise - 1)];
    return devsim_send(sim, bytes.data(), bytes.size());
}

static devsim_event devsim_send_marker(devsim *sim, const devsim_options &options)
{
    const std::string marker = std::string(options.fail_run ? devsim_failure_marker : devsim_success_marker) +
                               options.after_marker;
    unsigned cut = options.split_marker_at;
    if (cut == 0 || cut >= 7)
        return devsim_send(sim, marker.data(), marker.size());
    devsim_event result = devsim_send(sim, marker.data(), cut);
    if (result == devsim_event::ok)
        result = devsim_pause(sim, options.split_marker_pause_ms);
    if (result == devsim_event::ok)
        result = devsim_send(sim, marker.data() + cut, marker.size() - cut);
    return result;
}

// Sends the stream at the chosen rate, with the pauses and the unplug of the
// options at their offsets.
static devsim_event devsim_send_stream(devsim *sim, const devsim_options &options, devsim_stream &stream)
{
    auto pauses = options.pauses;
    std::sort(pauses.begin(), pauses.end());
    size_t next_pause = 0;
    size_t sent = 0;
    auto start = devsim_clock::now();
    unsigned char chunk[devsim_fast_chunk];
    for (;;) {
        while (next_pause < pauses.size() && pauses[next_pause].first <= sent) {
            if (pauses[next_pause].first == sent) {
                devsim_event paused = devsim_pause(sim, pauses[next_pause].second);
                if (paused != devsim_event::ok)
                    return paused;
                start += std::chrono::milliseconds(pauses[next_pause].second);
            }
            next_pause++;
        }
        if (options.unplug_after_bytes >= 0 && sent == size_t(options.unplug_after_bytes)) {
            devsim_note(sim, [](devsim_status &status) { status.unplugs++; }, "unplugged mid-stream");
            return devsim_event::device_gone;
        }
        size_t room = options.bytes_per_second
                          ? std::clamp<size_t>(options.paced_write_size, 1, devsim_fast_chunk)
                          : devsim_fast_chunk;
        if (next_pause < pauses.size())
            room = std::min(room, pauses[next_pause].first - sent);
        if (options.unplug_after_bytes >= 0)
            room = std::min(room, size_t(options.unplug_after_bytes) - sent);
        size_t n = stream.read(chunk, room);
        if (n == 0)
            return devsim_event::ok;
        if (options.bytes_per_second) {
            auto due = start + std::chrono::microseconds(sent * 1000000ull / options.bytes_per_second);
            if (due > devsim_clock::now()) {
                devsim_event waited = devsim_pause_until(sim, due);
                if (waited != devsim_event::ok)
                    return waited;
            }
        }
        devsim_event result = devsim_send(sim, chunk, n);
        if (result != devsim_event::ok)
            return result;
        sent += n;
        devsim_note(sim, [sent](devsim_status &status) { status.run_bytes_sent = sent; }, "");
    }
}

static devsim_event devsim_sampling_run(devsim *sim, const devsim_sampling_request &request)
{
    devsim_options options = devsim_current_options(sim);
    devsim_note(sim, [&](devsim_status &status) {
        status.runs_started++;
        status.last_request = request;
        status.run_bytes_sent = 0;
    }, "");
    devsim_event result = devsim_send_garbage(sim, options.garbage_before_ack);
    if (result != devsim_event::ok || !options.send_ack)
        return result;

    std::unique_ptr<devsim_stream> stream = options.stream ? options.stream(request) : devsim_builtin_tape(request);
    if (!stream) {
        devsim_note(sim, [](devsim_status &) {}, "no stream for this run: sending none");
        stream = devsim_stream_from_bytes({});
    }
    result = devsim_send_text(sim, devsim_ack);
    if (result == devsim_event::ok)
        result = devsim_send_stream(sim, options, *stream);
    if (result == devsim_event::ok)
        result = devsim_send_marker(sim, options);
    if (result == devsim_event::ok)
        devsim_note(sim, [](devsim_status &status) { status.runs_finished++; },
                    options.fail_run ? "run ended with the failure marker" : "run ended with the success marker");
    return result;
}

// Reads "u F M V" with three decimal numbers and nothing else.
static bool devsim_parse_sampling(const std::string &line, devsim_sampling_request *request)
{
    int consumed = -1;
    if (sscanf(line.c_str(), "u %d %d %d%n", &request->format_flags, &request->machine, &request->video,
               &consumed) != 3)
        return false;
    return line.size() > 1 && line[1] == ' ' && consumed == int(line.size());
}

static devsim_event devsim_execute(devsim *sim, const std::string &line)
{
    devsim_note(sim, [&](devsim_status &status) { status.commands.push_back(line); }, "command: " + line);
    devsim_sampling_request request;
    if (line == "b") {
        devsim_note(sim, [](devsim_status &status) { status.reboots++; }, "rebooting");
        // The echo gets out before the device resets, even if nobody reads it.
        if (devsim_pause(sim, devsim_reboot_delay_ms) == devsim_event::stop)
            return devsim_event::stop;
        return devsim_event::device_gone;
    }
    if (devsim_parse_sampling(line, &request))
        return devsim_sampling_run(sim, request);
    if (line.empty())
        return devsim_send_text(sim, devsim_prompt);
    std::string answer = std::string("?") + devsim_prompt;
    return devsim_send_text(sim, answer.c_str());
}

devsim_event devsim_play_session(devsim *sim)
{
    devsim_options options = devsim_current_options(sim);
    devsim_event result = devsim_pause(sim, options.prompt_delay_ms);
    if (result == devsim_event::ok)
        result = devsim_send_text(sim, options.greeting.c_str());
    if (result == devsim_event::ok && options.send_prompt)
        result = devsim_send_text(sim, devsim_prompt);

    std::string line;
    std::string echo;
    while (result == devsim_event::ok) {
        result = devsim_wait_master(sim, POLLIN, devsim_clock::time_point::max());
        if (result != devsim_event::ok)
            break;
        unsigned char input[256];
        ssize_t n = read(sim->master, input, sizeof input);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return devsim_event::client_left;
        for (ssize_t i = 0; i < n && result == devsim_event::ok; i++) {
            char byte = char(input[i]);
            if (options.echo == devsim_echo::normal)
                echo += byte == '\r' ? "\r\n" : std::string(1, byte);
            else if (options.echo == devsim_echo::wrong)
                echo += byte == '\r' ? "\n\r" : std::string(1, byte);
            if (byte == '\r') {
                result = devsim_send(sim, echo.data(), echo.size());
                echo.clear();
                // A command line that arrived whole is carried out even when
                // its echo finds the client gone (a reboot must still happen).
                if (result == devsim_event::ok || result == devsim_event::client_left) {
                    devsim_event executed = devsim_execute(sim, line);
                    if (result == devsim_event::ok || executed == devsim_event::stop ||
                        executed == devsim_event::device_gone)
                        result = executed;
                }
                line.clear();
            } else if (byte != '\n' && line.size() < devsim_line_limit) {
                line += byte;
            }
        }
        if (result == devsim_event::ok && !echo.empty()) {
            result = devsim_send(sim, echo.data(), echo.size());
            echo.clear();
        }
    }
    return result;
}
