// The files on a tape in one format of the pilot-byte family (pilot_format.h),
// each listed once its header has been read and judged as its loader would
// take it. One reader per format, all of them this code driven by their rows.
//
// A file is, after pilot and sync train:
// - formats with identified blocks (Turbo Tape 250, Turrican): a header block
//   (identifier 1 or 2 after at least the row's pilot bytes, then the header)
//   and, right after it, a data block (identifier 0, the data, their XOR);
// - the others: the header, the data and their XOR in one block.
// The file is listed (verdict reading) once its header's name and addresses
// have been read, every byte of them clean; a pulse in no class before that
// lists nothing. A nameless file's name is its address range as
// "$0801-$1035" (end exclusive, four upper-case hex digits each), padded with
// spaces. The verdict is
// - good: every byte read clean and the XOR holds; the program (load
//   address, then exactly as many bytes as the header says) comes with that
//   record;
// - bad: a pulse in no class after listing, a wrong XOR, no data block (for
//   identified blocks: another block comes first, or none has begun 10 s of
//   tape after the header's end), or a header that lies (end before start,
//   data beyond $FFFF), which is judged as soon as it is listed;
// - cut short: the stream ended inside the file (pilot_files_finish).
// A verdict is given as soon as it cannot change.
//
// The record's span (tape_file_record.h): from the pilot byte after the one
// that aligned the reader to the end of the last byte read; a file judged
// bad in mid-data ends where its check byte will, reckoned from the bytes
// read. During a report, end_address (exclusive, up to 0x10000) and
// pilot_sums (its pilot's 0 pulses, for the tape health measure) describe
// the file too.
//
// Constant work per sample, no allocation (the program is kept in the
// struct, 64 KiB at most). Not thread-safe.
#pragma once

#include "tape/pilot_blocks.h"
#include "tape/tape_file_record.h"

#include <cstddef>
#include <cstdint>

struct pilot_files {
    pilot_block_reader reader;
    const pilot_format *format;
    uint8_t role;            // what the block being read is to the file (pilot_files.cpp)
    bool file_open;          // listed and not judged
    bool data_due;           // identified blocks: the open file's header is complete, its data block comes next
    bool lying;              // the open file's header lies
    uint64_t header_end_tick;
    uint32_t data_length;
    unsigned char sum;       // XOR of the data bytes read
    tape_file_record file;
    uint32_t end_address;
    pilot_pulse_sums pilot_sums; // the file's pilot's 0 pulses
    tape_file_report report;
    void *context;
    tape_file_byte_report byte_report; // nullptr unless every byte is wanted
    void *byte_context;
    uint64_t header_tick;    // where the block being read as a header began
    uint64_t header_lead_tick;
    pilot_pulse_sums header_pilot_sums;
    unsigned char head[64];  // the header bytes up to its name's and addresses' end
    unsigned char program[65536];
};

// Prepares a reader of format's files for a new stream (the row must outlive
// it); report (may be nullptr) is called on the reading thread.
void pilot_files_init(pilot_files *files, const pilot_format *format, tape_file_report report, void *context);

// From now on, also hands every byte of a file's header and data to report,
// clean or not, on the reading thread. Blocks are then read to their full
// length even after a pulse in no class (the verdict is the same), so that no
// byte of them is left out. report nullptr stops it.
void pilot_files_report_bytes(pilot_files *files, tape_file_byte_report report, void *context);

// Reads count samples (pulse lengths in ticks, in tape order) of which the
// first begins at tick. Returns where the sample after the last begins.
uint64_t pilot_files_read(pilot_files *files, const unsigned short *samples, size_t count, uint64_t tick);

// The same in two steps, for several readers sharing one pilot search
// (pilot_lanes.h): each batch the lanes take, read through the reader's lane
// (returns where the sample after the batch begins), then, when every batch
// of one call's samples has been read, pilot_files_read_ends with that tick.
uint64_t pilot_files_read_lanes(pilot_files *files, const pilot_lanes *lanes, unsigned lane);
void pilot_files_read_ends(pilot_files *files, uint64_t tick);

// The stream has ended: a file listed and not yet judged is cut short.
void pilot_files_finish(pilot_files *files);

// The address range as a nameless file is listed: "$0801-$1035" and five
// spaces, 16 bytes (end & 0xFFFF). Any thread.
void tape_address_range_name(unsigned start, unsigned end, unsigned char name[16]);
