// The device console's prompt wait and echo test, fed arbitrary device
// output in arbitrary read sizes.
//
// The console's own code runs unchanged; only the port under it is a script:
// each read returns the next piece of the device's output (its size taken
// from the input, never more than asked), an empty read now and then (the
// 500 ms time-out), and a failure once the script is used up, as a closed
// port does. Checks:
//  - the prompt wait never asks for 0 bytes (no spinning once its buffer is
//    full) nor more than its 256-byte buffer;
//  - it returns 1 exactly at the first read after which everything received
//    ends with "\r\n> ", and reads nothing more; else 0 when the port fails;
//  - the echo test sends exactly the text and CR, never reads past the echo,
//    reads nothing for a line over 256 bytes, and returns 1 exactly when the
//    bytes read are the text, CR, LF.
#include "link/console.h"
#include "link/serial.h"

#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int hPort = -1;

namespace {

FuzzedDataProvider *script;
std::string delivered;   // every byte the console has read
std::string sent;        // every byte the console has written
unsigned reads_issued;
unsigned largest_request;
bool asked_for_nothing;
unsigned prompt_first_ended_read;   // the read after which the input first ended with the prompt; 0: none

const std::string prompt("\r\n> ");

[[noreturn]] void fail(const char *what)
{
    fuzz_fail("console", what);
}

void check(bool holds, const char *what)
{
    fuzz_check(holds, "console", what);
}

}  // namespace

int serial_read(void *buffer, unsigned count, unsigned *received)
{
    reads_issued++;
    if (count == 0)
        asked_for_nothing = true;
    if (count > largest_request)
        largest_request = count;
    if (received)
        *received = 0;
    if (script->remaining_bytes() == 0)
        return 0;
    // 0: the read times out empty; otherwise up to that many bytes arrive.
    unsigned size = script->ConsumeIntegralInRange<unsigned>(0, 300);
    if (size > count)
        size = count;
    std::string bytes = script->ConsumeBytesAsString(size);
    memcpy(buffer, bytes.data(), bytes.size());
    delivered += bytes;
    if (prompt_first_ended_read == 0 && delivered.size() >= prompt.size() &&
        delivered.compare(delivered.size() - prompt.size(), prompt.size(), prompt) == 0)
        prompt_first_ended_read = reads_issued;
    if (received)
        *received = unsigned(bytes.size());
    return 1;
}

int serial_write(const void *buffer, unsigned count, unsigned *written)
{
    // Some writes go out only in part, as at a write deadline.
    unsigned size = count == 0 ? 0 : script->ConsumeIntegralInRange<unsigned>(0, count);
    if (size == 0 && count > 0 && script->remaining_bytes() == 0)
        size = count;   // the script is used up: let the line drain
    sent.append(static_cast<const char *>(buffer), size);
    if (written)
        *written = size;
    return 1;
}

static void fuzz_prompt_wait()
{
    int result = console_synch_with_device();
    check(!asked_for_nothing, "the prompt wait never asks for 0 bytes");
    check(largest_request <= 256, "the prompt wait never asks past its buffer");
    if (prompt_first_ended_read != 0) {
        check(result == 1, "the wait succeeds once the input received ends with the prompt");
        check(reads_issued == prompt_first_ended_read, "the wait reads nothing after the prompt");
    } else {
        check(result == 0, "without the prompt the wait fails, and only when the port fails");
        check(script->remaining_bytes() == 0, "the wait goes on until the port fails");
    }
}

static void fuzz_echo_test()
{
    std::string text = script->ConsumeRandomLengthString(300);
    text = text.substr(0, strlen(text.c_str()));
    const size_t line = text.size() + 2;
    int result = console_execute_command(text.c_str());
    std::string expected_sent = text + "\r";
    if (sent.size() < expected_sent.size())
        fail("the command line is sent whole");
    check(sent == expected_sent, "exactly the text and CR are sent");
    if (line > 256) {
        check(result == 0, "a line over 256 bytes fails");
        check(reads_issued == 0, "a line over 256 bytes is not read back");
        return;
    }
    check(delivered.size() <= line, "nothing after the echo is read");
    if (delivered.size() < line) {
        check(result == 0 && script->remaining_bytes() == 0, "a short echo fails only when the port fails");
        return;
    }
    check(result == (delivered == text + "\r\n" ? 1 : 0), "the echo test compares the whole echo");
}

static void fuzz_check_success()
{
    int result = console_check_success();
    check(delivered.size() <= 2, "exactly two bytes are read");
    if (delivered.size() < 2)
        check(result == 0, "a failed read fails");
    else
        check(result == (delivered == "OK" ? 1 : 0), "only OK succeeds");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    script = &input;
    delivered.clear();
    sent.clear();
    reads_issued = 0;
    largest_request = 0;
    asked_for_nothing = false;
    prompt_first_ended_read = 0;
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        fuzz_prompt_wait();
        break;
    case 1:
        fuzz_echo_test();
        break;
    default:
        fuzz_check_success();
        break;
    }
    return 0;
}
