// The built-in demo tape.
//
// A short made-up tape that holds one file in each format the client
// recognises, in this order, with a random jitter on every pulse, as small as
// a good drive's for the first two files and as large as a worn tape's for
// the third (tape_demo.cpp):
// 1. ROM loader: header "DEMO ROM" (type 1, $0801-$0816) with both copies
//    after a pilot of 8000 short pulses, then its data block (pilot 5400).
// 2. Turbo Tape 250: header "DEMO TURBO" (identifier 1), then its data block.
// 3. Turrican loader: header "DEMO TURRICAN" (identifier 1), then its data.
// Each file's data is the same one-line BASIC program
// (10 PRINT "ZR7K8 DEMO"). Silences of 65535 ticks stand between blocks.
// The pilots are shorter than the machine's own (27136 and 6656 pulses) so
// that the first name shows after a few seconds; they are still long enough
// for the decoders. Played in real time the tape lasts about 20 seconds
// (67801 samples).
// The name decoders find exactly the three names, in order.
#pragma once

#include "tape/name_finder.h"

#include <vector>

// The names as they stand in the headers (padded with spaces to 16 bytes on tape).
extern const char *const tape_demo_names[3];

// The demo tape's sample stream. Deterministic: every call returns the same
// samples. Any thread.
std::vector<unsigned short> tape_demo_samples(void);

// The demo tape repeated until it covers `seconds` of tape time (for long
// tapes in benchmarks). Any thread.
std::vector<unsigned short> tape_demo_samples_lasting(unsigned long long seconds);

// A tape with one file of every loader the client reads, in the order of
// tape_loader: the demo tape's three files, then Freeload, Hitload, US Gold
// ("DEMO US GOLD"), Microload, Novaload ("DEMO NOVALOAD") and Novaload
// Special, each as its saving program writes it (tape_loader_file), with a
// good drive's jitter and silences between them. The nameless files load at
// addresses of their own, so that their rows differ; Novaload Special's run is
// the program in one page. Every file reads good. Deterministic; any thread.
std::vector<unsigned short> tape_demo_every_format_samples(void);

// What the client lists as each of those files' names, in the same order (a
// nameless file's address range).
extern const char *const tape_demo_every_format_names[tape_loader_count];

