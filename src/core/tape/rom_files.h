// The files on a tape in the computer's built-in format, each listed when its
// header is read and judged as the machine's loader would take it.
//
// Blocks are followed as the loader follows them. A header block has a
// 192-byte payload: the type, the start and end address (low byte first), the
// 16-byte name and padding. What comes after depends on the type:
// - 1 or 3, a program: the next block is its data, end minus start bytes
//   (taken modulo 65536, so never more than 65535);
// - 4, a data file: blocks of type 2 follow, 192 bytes each; the last one holds
//   a 0 byte after its type byte, where the file's data ends;
// - 5, the end-of-tape mark, and any other type hold no file: not listed.
// A file's verdict is the worst of its blocks' (rom_block_check.h). A program
// whose data block never comes, or a data file whose last block never comes,
// is bad.
//
// A file is listed once its header's type and name are known: at the end of
// the name field of the header's first copy, or, where bytes there were bad,
// at the same place in the repeated copy or when the header block ends (name
// bytes unreadable in both copies show as '?'). It is judged as soon as its
// verdict cannot change: when its last block is judged, or at once when one of
// its blocks is bad. rom_files_finish judges what is still open as cut short
// (the stream ended inside it), never as good. Listing always comes before judging, and one file is judged before
// the next is listed.
//
// Where a program's data block is due, a block of 192 payload bytes with a
// header type (while the data should have another length) is the next header:
// the program's data is missing, so the program is bad, and the new header
// is listed when its first copy ends.
//
// Constant work per sample, no allocation (a program's bytes are kept in the
// struct, 64 KiB). Not thread-safe.
#pragma once

#include "tape/rom_block_check.h"
#include "tape/tape_file_record.h"
#include "tape/rom_blocks.h"
#include "tape/tape_verdict.h"

#include <cstddef>
#include <cstdint>

// Files are reported as tape_file_record (tape_file_record.h): tick is where
// the header's first copy began, type 1 or 3 (a program) or 4 (a data file);
// the file's span runs from its header's pilot to the end of its last block
// copy read, and in a record judged before the last block's repeated copy
// has begun, to where that copy will end (as long as the first).
// A program judged good or repaired comes with its data block's payload, as
// mended, loading at the header's start address; a data file brings none.

struct rom_files {
    rom_block_reader reader;
    rom_block_check block;        // the block being read
    rom_block_check header_guess; // the same bytes read as a header, while a data block's first copy runs
    uint8_t role;                 // what the block is to the file (rom_files.cpp)
    bool guessing;
    bool verdict_applied;         // the block's verdict has gone into the file's
    uint8_t expect;               // what the next block should be
    bool file_open;
    bool file_judged;
    tape_verdict worst;           // the open file's verdict so far
    uint32_t data_length;
    uint64_t pilot_tick;          // where the pilot before the block being read began
    tape_file_record file;
    tape_file_report report;
    void *context;
    tape_file_byte_report byte_report; // nullptr unless every byte is wanted
    void *byte_context;
    unsigned char program[65536]; // the program data block's payload as read and mended
};

// Prepares for a new stream; report (may be nullptr) is called on the
// reading thread.
void rom_files_init(rom_files *files, tape_file_report report, void *context);

// From now on, also hands every byte of a block that may be a file's header,
// and of a program's data block, to report (both copies, clean or not), on
// the reading thread. report nullptr stops it.
void rom_files_report_bytes(rom_files *files, tape_file_byte_report report, void *context);

// Reads count samples (pulse lengths in ticks, in tape order) of which the
// first begins at tick. Returns where the sample after the last begins.
uint64_t rom_files_read(rom_files *files, const unsigned short *samples, size_t count, uint64_t tick);

// The stream has ended: a file not yet judged is cut short.
void rom_files_finish(rom_files *files);
