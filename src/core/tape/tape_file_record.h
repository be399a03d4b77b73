// A file on tape as a block reader of one format reports it: where its header
// begins, where the file lies on tape, its name, the verdict, and once it is
// judged good or repaired the program it carries.
#pragma once

#include "tape/tape_verdict.h"

#include <cstdint>

struct tape_file_record {
    uint64_t tick;           // where the header begins (ticks since the stream began)
    // The stretch of tape the file takes, which tells what was read from
    // what was not (tape_unread.h): from the first pulse of its first
    // block's pilot or lead-in to the end of its last block and the trailer
    // its format writes behind it. Every format's reader sets both in every
    // record: first_tick once the file is listed, end_tick as far as the
    // file has been read, and in the final record as far as it goes on
    // tape. A reader that judges a file before its last pulses have passed
    // (a built-in-format block whose first copy settled it, a Turbo Tape
    // 250 file bad in mid-block) states where they will end, reckoned from
    // what it has read of the file.
    uint64_t first_tick;
    uint64_t end_tick;
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

// Hands a judged file's record to report (may be nullptr): with
// program[0..length) when the verdict is good, and without it afterwards.
inline void tape_file_record_judged(tape_file_record *file, tape_verdict verdict, const unsigned char *program,
                                    uint32_t length, tape_file_report report, void *context)
{
    file->verdict = verdict;
    if (verdict == tape_verdict_good) {
        file->program = program;
        file->program_length = length;
    }
    if (report)
        report(context, file);
    file->program = nullptr;
    file->program_length = 0;
}

// Every byte a block reader reads of a file's blocks, for a caller that
// combines several readings of one tape (tape_rescue.h). Header bytes may come
// before the file is listed: block_tick tells which header they belong to
// (the listed record's tick).
enum tape_file_block : uint8_t {
    tape_file_header_block,
    tape_file_data_block,
};

struct tape_file_byte {
    tape_file_block block;
    uint8_t copy;          // 0 the block's first copy, 1 its repeated copy (built-in format only)
    uint64_t block_tick;   // where the block's first copy began
    uint32_t index;        // payload index; the checksum is the byte after the payload
    unsigned char value;
    bool clean;            // every pulse in its window (and parity right)
    uint64_t end_tick;     // where the pulse after this byte begins
    // Where the copy's pilot (built-in format) or its counted lead-in (Turbo
    // Tape 250: from the byte after the one that first aligned the reader)
    // began, so that a block can be cut out of the take and written afresh.
    uint64_t lead_tick;
    uint32_t lead_in_bytes; // Turbo Tape 250: the 0x02 bytes before the sync train; else 0
    unsigned char identifier; // Turbo Tape 250: the block's identifier byte; else 0
};

// Receives a byte; valid during the call only.
using tape_file_byte_report = void (*)(void *context, const tape_file_byte *byte);
