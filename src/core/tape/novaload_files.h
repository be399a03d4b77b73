// The files on a tape in the Novaload and Novaload Special formats
// (formats/novaload.h), each listed and judged as its loader would take it.
//
// One bit per pulse, least significant bit first; a pulse in neither class
// (or a sample of 2048 ticks or more) is in none. A file begins with at least
// pilot_pulses_min 0 pulses, a 1 pulse (the sync) and the byte 0xAA; a pulse
// in no class, or a wrong byte, before the header is complete sends the
// reader back to its search.
// - Novaload: the header (name length n, at most 16, else the pilot was
//   noise; the name; load address - 256; end address; data size + 256) read
//   clean lists the file (verdict reading) under its name, which may be
//   empty. A header that lies (size field below 256, data beyond $FFFF) is
//   judged bad at once. The data follow in sub-blocks, each after a check
//   byte, then the final check byte; the reader follows the size, and notes
//   in end_disagrees where the end address says otherwise (the loader itself
//   never reads it). Verdict good when every byte read clean and every check
//   byte equals the running sum; bad as soon as one does not; cut short when
//   the stream ends inside the file.
// - Novaload Special: 0x55 after the marker, then pages (page byte, 256
//   bytes, their sum with the page byte) until a page byte 0. Each run of
//   consecutive pages is one file, named by its address range as
//   "$0800-$2000"; it is listed once the run ends (a page byte 0, a page that
//   does not follow, the stream's end), then judged at once: good when every
//   byte read clean and every page's sum holds. A page byte read unclean is
//   taken as the next page, and its run is bad.
//
// The record's span (tape_file_record.h): from the pilot's first 0 pulse (a
// Special run after the first of its chain: from its first page byte) to the
// end of the last byte read, and in the final record the trailer the format
// writes after the data (a file judged bad in mid-data: where its final
// check byte will end, reckoned from the bytes read, and the trailer).
// During a report: special (the format), end_address (exclusive, up to
// 0x10000), pilot_sums (the pilot's 0 pulses, for the tape health measure).
//
// Bytes for a rescue (novaload_files_report_bytes): the header block is
// Novaload's header from the name length on (n + 7 bytes; none for Special);
// the data block is everything after it as on tape: Novaload's check bytes
// and sub-blocks, a Special run's pages with their page and check bytes (258
// bytes a page). block_tick is the listed record's tick.
//
// Constant work per sample, no allocation (the program is kept in the
// struct, 64 KiB at most). Not thread-safe.
#pragma once

#include "tape/formats/novaload.h"
#include "tape/pilot_blocks.h"
#include "tape/tape_file_record.h"

#include <cstddef>
#include <cstdint>

struct novaload_files {
    // The file being reported, valid during a report.
    tape_file_record file;
    bool special;
    uint32_t end_address;
    bool end_disagrees;       // Novaload: the header's end address is not load + size
    pilot_pulse_sums pilot_sums; // the file's pilot (Special: its chain's)

    // Reader state (novaload_files.cpp).
    uint8_t state;
    uint8_t bit_count;
    unsigned char byte;
    bool byte_clean;
    uint32_t zeros;           // 0 pulses in a row while searching
    uint64_t run_tick;        // where they began
    pilot_pulse_sums run_sums; // and their lengths
    uint64_t byte_tick;       // where the byte being read began
    uint64_t tick;            // where the next sample begins
    bool file_open;           // listed and not judged
    bool damaged;             // a byte of the open file read unclean or a check failed
    unsigned char sum;
    uint32_t index;           // of the byte being read within its block (header or data)
    uint32_t data_length;
    uint32_t data_read;
    uint32_t sub_block_left;  // data bytes before the next check byte
    unsigned char head[24];   // Novaload header: n, name, the three fields
    unsigned page;            // Special: the page being read
    unsigned run_first_page;  // Special: the open run's first page (0: none open)
    uint64_t run_pilot_tick;  // where the Special chain's pilot began
    uint64_t run_end_tick;    // Special: the end of the open run's last page
    tape_file_report report;
    void *context;
    tape_file_byte_report byte_report;
    void *byte_context;
    uint8_t bit_of_pulse[256];
    unsigned char program[65536];
};

// Prepares for a new stream; report (may be nullptr) is called on the reading
// thread.
void novaload_files_init(novaload_files *files, tape_file_report report, void *context);

// From now on, also hands every byte of a file's blocks to report, clean or
// not; a file judged bad is then read on to its end. nullptr stops it.
void novaload_files_report_bytes(novaload_files *files, tape_file_byte_report report, void *context);

// Reads count samples (pulse lengths in ticks, in tape order) of which the
// first begins at tick. Returns where the sample after the last begins.
uint64_t novaload_files_read(novaload_files *files, const unsigned short *samples, size_t count, uint64_t tick);

// The stream has ended: a file listed and not judged, or a Special run being
// read, is cut short.
void novaload_files_finish(novaload_files *files);
