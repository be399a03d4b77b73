// The files on a tape in the Turbo Tape 250 format, each listed when its
// header's name has been read and judged as its loader would take it.
//
// A file is a header block and, right after it (its lead-in begins on the
// pulse after the header's last byte), a data block:
// - header: identifier 1 or 2 after a lead-in of at least 959 bytes (the name
//   decoder's rule, so both list the same headers), then 192 bytes: start
//   address and end address + 1 (low byte first), a timing byte, the 16-byte
//   name, padding;
// - data: identifier 0, the end - start program bytes (modulo 65536), the XOR
//   of all of them.
// The file is listed (verdict reading) at the end of its name; a header with
// a pulse in no window before that is not taken for a file, as the name
// decoder does not take it. The verdict is
// - good: every byte of both blocks read clean and the XOR holds; the program
//   (load address = start, end - start bytes) comes with that record;
// - bad: a pulse in no window inside the file after its name, a wrong XOR,
//   or no data block: another block comes first, or none has begun 10 s of
//   tape after the header's end;
// - cut short: the stream ended inside the file (tt250_files_finish).
// There is no repaired: the format keeps one copy. A verdict is given as soon
// as it cannot change. The file's span runs from its header's lead-in to the
// end of its data block (in a record judged bad in mid-block, where the
// block will end).
//
// Constant work per sample, no allocation (the program is kept in the struct,
// 64 KiB). Not thread-safe.
#pragma once

#include "tape/tape_file_record.h"
#include "tape/tt250_blocks.h"

#include <cstddef>
#include <cstdint>

struct tt250_files {
    tt250_block_reader reader;
    uint8_t role;            // what the block being read is to the file (tt250_files.cpp)
    bool file_open;          // listed and not judged
    bool data_due;           // the open file's header is complete; its data block comes next
    uint64_t header_end_tick;
    uint32_t data_length;
    unsigned char sum;       // XOR of the data bytes read
    tape_file_record file;
    tape_file_report report;
    void *context;
    tape_file_byte_report byte_report; // nullptr unless every byte is wanted
    void *byte_context;
    uint64_t header_tick;    // where the block being read as a header began
    uint64_t header_lead_tick; // and where its lead-in began
    unsigned char head[21];  // start, end, timing byte, name
    unsigned char program[65536];
};

// Prepares for a new stream; report (may be nullptr) is called on the
// reading thread.
void tt250_files_init(tt250_files *files, tape_file_report report, void *context);

// From now on, also hands every byte of a file's header and data block to
// report, clean or not, on the reading thread. Blocks are then read to their
// full length even after a pulse in no window (the verdict is the same), so
// that no byte of them is left out. report nullptr stops it.
void tt250_files_report_bytes(tt250_files *files, tape_file_byte_report report, void *context);

// Reads count samples (pulse lengths in ticks, in tape order) of which the
// first begins at tick. Returns where the sample after the last begins.
uint64_t tt250_files_read(tt250_files *files, const unsigned short *samples, size_t count, uint64_t tick);

// The stream has ended: a file listed and not yet judged is cut short.
void tt250_files_finish(tt250_files *files);
