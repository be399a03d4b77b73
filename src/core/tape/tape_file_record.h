// A file on tape as a block reader of one format reports it: where its header
// begins, its name, the verdict, and once it is judged good or repaired the
// program it carries.
#pragma once

#include "tape/tape_verdict.h"

#include <cstdint>

struct tape_file_record {
    uint64_t tick;           // where the header begins (ticks since the stream began)
    unsigned char name[16];  // the header's name field as on tape
    unsigned char type;      // the header's type or identifier byte
    tape_verdict verdict;    // reading when listed, then final
    // With a good or repaired program only (else nullptr and 0): the bytes
    // that load at load_address, exactly as many as the header says.
    uint16_t load_address;
    const unsigned char *program;
    uint32_t program_length;
};

// Receives a file when it is listed (verdict reading) and again when it is
// judged. The record and its program are valid during the call only.
using tape_file_report = void (*)(void *context, const tape_file_record *file);
