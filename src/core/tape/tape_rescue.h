// A rescue: the files of two or more takes of one tape side (tape_take.h)
// combined byte by byte, so that a file no take reads alone can come back
// from them together.
//
// Files are matched across takes by loader, name, start and end address and,
// among files of the same name, their order on the tape; the takes need not
// begin at the same point nor be equally long. A file of one take only is
// judged on that take.
//
// Each byte of a matched file's blocks (header and data; for the built-in
// format both copies of each) takes the value of every copy that read it
// clean, in any take; where such values disagree the majority wins, and a tie
// leaves the byte unreadable. A block whose bytes are all known and whose
// check bytes hold (the XOR of its payload; Novaload's running sum, Novaload
// Special's page sums: tape_loader_program_of, loader_table.h) is rescued.
// The turbo loaders' headers carry no check byte of their own: a listed
// header is taken as read (Novaload's counts in its running sum).
//
// A file is then
// - good or repaired: some take alone read it so (its program is that take's;
//   where takes that read it so disagree on its bytes, the program most of
//   them read, a tie going to the first good take, then the first repaired);
// - rescued: no take alone, but the takes together read every block;
// - bad: neither.
//
// Any thread; no state kept between calls.
#pragma once

#include "tape/tape_take.h"

#include <cstdint>
#include <vector>

enum tape_rescue_outcome : uint8_t {
    tape_rescue_good,
    tape_rescue_repaired,
    tape_rescue_rescued,
    tape_rescue_bad,
};

struct tape_rescued_file {
    tape_loader loader;
    unsigned take;                      // the first take (by its place in the list) the file is in
    uint64_t tick;                      // where its header begins in that take
    unsigned char name[16];
    tape_rescue_outcome outcome;
    uint16_t load_address;              // with a program only
    std::vector<unsigned char> program; // good, repaired or rescued: exactly end - start bytes
    unsigned takes_holding;             // how many takes hold the file
    // Good or repaired: the takes that read it so with the program kept, and
    // those that read it so with other bytes (empty when all agree).
    std::vector<unsigned> takes_agreeing, takes_disagreeing;
    // For a clean image: the header's payload bytes (by the same vote;
    // bytes no take read clean as a standard header has them), the Turbo
    // Tape 250 or Turrican header's identifier, and where each take holds
    // the file (its index in that take's list, or -1).
    std::vector<unsigned char> header;
    unsigned char identifier;
    std::vector<int> in_take;
};

// Combines the takes' files. Returns one entry per distinct file, ordered by
// the first take holding it, then by position there. *shared (may be null) is
// set to whether any file is held by more than one take.
std::vector<tape_rescued_file> tape_rescue(const std::vector<std::vector<tape_take_file>> &takes, bool *shared);

// The verdict a list shows for the outcome.
tape_verdict tape_rescue_verdict(tape_rescue_outcome outcome);

// "good", "repaired", "rescued", "bad": the words the command line prints
// (tape_verdict_text of the verdict).
const char *tape_rescue_outcome_word(tape_rescue_outcome outcome);
