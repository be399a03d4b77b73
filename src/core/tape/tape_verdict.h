// How a file on a tape read back.
#pragma once

enum tape_verdict : unsigned char {
    tape_verdict_reading,     // not judged yet
    tape_verdict_good,        // the first copy of every block read clean
    tape_verdict_repaired,    // what the first copies lost, the repeated copies gave back
    tape_verdict_bad,         // something the machine's loader could not load
    tape_verdict_not_checked, // a turbo loader's file: listed, its blocks are not read
    tape_verdict_cut_short,   // the stream ended inside the file: unfinished, not damaged
    tape_verdict_rescued,     // no take alone read it, several takes together did (tape_rescue.h)
};

// The worse of two verdicts of blocks (good, then repaired, then bad; a
// rescue's verdict is never combined).
inline tape_verdict tape_verdict_worse(tape_verdict a, tape_verdict b)
{
    return a > b ? a : b;
}
