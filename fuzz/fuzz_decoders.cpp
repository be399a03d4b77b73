// The three tape-name decoders fed arbitrary pulse bytes with arbitrary
// restart flags, built with MemorySanitizer.
//
// The name buffer is marked unwritten (poisoned) before each search. A
// decoder may only touch it when it reports a name, and a reported name must
// have all 16 bytes written by the decoder in that search: MemorySanitizer's
// shadow tells written bytes from stale ones exactly. Byte 16 (the
// terminator) is never the decoder's to write. A call with the restart flag
// set reports nothing.
//
// Input: the first byte chooses the road: one of the three decoders alone
// (each keeps its own state, so one at a time loses nothing and costs a third),
// or the capture's name finder (decoders in order, restart after a name). Then
// records of two bytes: a pulse byte and a control byte, whose bit 7 sets the
// restart flag for the record's first pulse and whose low bits repeat the
// pulse (bit 6 clear: 1 to 64 times; set: 64 to 4096 times), so that a pilot
// tone of thousands of pulses fits in a few bytes.
#include "tape/name_finder.h"
#include "tape/rom.h"
#include "tape/tt250.h"
#include "tape/turrican.h"

#include "fuzz_check.h"

#include <sanitizer/msan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using decoder = int (*)(unsigned char, unsigned char *, int);
const decoder decoders[3] = {rom_loader_find_name, tt250_loader_find_name, turrican_loader_find_name};
const char *const decoder_names[3] = {"rom", "tt250", "turrican"};

// The harness's own branches and comparisons, run for every pulse, are no
// part of the decoders' coverage and cost as much as the decoders themselves:
// they are left out of libFuzzer's instrumentation.
#define NOT_INSTRUMENTED __attribute__((no_sanitize("coverage")))

// Keeps an input quick, as every pulse costs a decoder call: a ROM header
// needs about 5600 pulses (a pilot of more than 5000), a turbo header about
// 7900 (959 lead-in bytes of 8 pulses); this is room for a ROM header cut
// short by a restart and a whole one after it.
const unsigned pulses_per_input_max = 12000;

[[noreturn]] void fail(const char *decoder_name, const char *what)
{
    fuzz_fail(decoder_name, what);
}

NOT_INSTRUMENTED bool all_unwritten(const unsigned char *bytes, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (__msan_test_shadow(bytes + i, 1) != 0)
            return false;
    return true;
}

NOT_INSTRUMENTED bool all_written(const unsigned char *bytes, size_t count)
{
    return __msan_test_shadow(bytes, count) == -1;
}

// A byte written without a name stays marked written until the next name, so
// looking now and then (and at the end) finds it without slowing every call.
const unsigned untouched_check_period = 256;

NOT_INSTRUMENTED void check_untouched(const char *name, const unsigned char *buffer)
{
    if (!all_unwritten(buffer, 17))
        fail(name, "the name buffer is touched without a name");
}

NOT_INSTRUMENTED void check_call(const char *name, int found, int restart, unsigned char *buffer, unsigned call)
{
    if (!found) {
        if (call % untouched_check_period == 0)
            check_untouched(name, buffer);
        return;
    }
    if (restart)
        fail(name, "a restarted search reports a name");
    if (!all_written(buffer, 16))
        fail(name, "a reported name has a byte not written in this search");
    if (!all_unwritten(buffer + 16, 1))
        fail(name, "the terminator position is written");
    __msan_poison(buffer, 17);
}

NOT_INSTRUMENTED unsigned run_length(unsigned char control)
{
    unsigned low = control & 0x3F;
    return (control & 0x40) ? (low + 1) * 64 : low + 1;
}

}  // namespace

extern "C" NOT_INSTRUMENTED int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned road = data[0] % 4;
    const bool through_finder = road == 3;
    data++;
    size--;

    // Start every input from fresh searches, so that a finding replays alone.
    unsigned char scratch[17];
    for (decoder find : decoders)
        find(0, scratch, 1);

    unsigned char buffer[17];
    __msan_poison(buffer, sizeof buffer);
    name_finder finder;
    name_finder_init(&finder);
    __msan_poison(finder.name, sizeof finder.name);

    unsigned pulses = 0;
    for (size_t at = 0; at + 1 < size && pulses < pulses_per_input_max; at += 2) {
        const unsigned char pulse = data[at];
        const unsigned char control = data[at + 1];
        const unsigned count = run_length(control);
        for (unsigned i = 0; i < count && pulses < pulses_per_input_max; i++, pulses++) {
            const int restart = i == 0 && (control & 0x80);
            if (through_finder) {
                // The finder feeds its own restart flag; a record's flag
                // stands for a new capture starting at this pulse instead.
                if (restart)
                    name_finder_init(&finder), __msan_poison(finder.name, sizeof finder.name);
                if (name_finder_feed(&finder, (unsigned short)(pulse * 8 + (control & 7)))) {
                    if (!all_written(finder.name, 16))
                        fail("finder", "a reported name has a byte not written in this search");
                    if (finder.name[16] != 0)
                        fail("finder", "a reported name is not terminated");
                    __msan_poison(finder.name, sizeof finder.name);
                } else if (pulses % untouched_check_period == 0) {
                    check_untouched("finder", finder.name);
                }
                continue;
            }
            check_call(decoder_names[road], decoders[road](pulse, buffer, restart), restart, buffer, pulses);
        }
    }
    if (through_finder) {
        check_untouched("finder", finder.name);
    } else {
        check_untouched(decoder_names[road], buffer);
    }
    return 0;
}
