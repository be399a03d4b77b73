// One take of a tape side read for a rescue: every file of every loader, with
// each byte of its blocks as read and whether it was read clean, so that
// several takes can be combined (tape_rescue.h).
//
// The take is streamed: samples go through tape_take_reader_feed in pieces of
// any size, the block readers (rom_files.h, loader_files.h) read them, and
// only the files' bytes are kept. Memory grows with the files' lengths, not
// with the take's.
//
// For a file of the built-in format both copies of its header (192 bytes and
// the checksum) and of its data block (end - start bytes and the checksum)
// are kept; for the turbo loaders one copy of the header block and of the
// data block as their readers report them (tape_loader_block_lengths,
// loader_table.h), check bytes included. A byte never read, or read with a
// pulse out of its window or a wrong parity, is tape_take_unread. Data files
// of the built-in format (type 4) hold no program: they are listed (data_file,
// for the clean image's index) with none of their bytes.
//
// Not thread-safe: one reader per take, on one thread.
#pragma once

#include "tape/name_finder.h"
#include "tape/tape_read_control.h"
#include "tape/rom_files.h"
#include "tape/tape_verdict.h"
#include "tape/loader_files.h"

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A byte not read clean.
inline constexpr int16_t tape_take_unread = -1;

// Where a block stands in the take: from the pilot before its first copy
// (the pilot-byte loaders: their counted pilot) to the end of the last byte
// read of it, so that a clean image can put the block afresh in its place.
struct tape_take_block_place {
    uint64_t begin = UINT64_MAX;
    uint64_t end = 0;            // 0: no byte of the block was read
    uint32_t lead_in_bytes = 0;  // pilot-byte loaders: the pilot bytes the take recorded
    unsigned char identifier = 0; // Turbo Tape 250, Turrican: the block's identifier byte
};

struct tape_take_file {
    tape_loader loader;
    uint64_t tick;                      // where the header begins, ticks since the take began
    uint64_t first_tick;                // where the file's pilot or lead-in begins (tape_file_record)
    unsigned char name[16];             // the name field as listed ('?' for unreadable bytes)
    tape_verdict verdict;               // as this take alone read it
    std::vector<int16_t> header[2];     // per copy: the header's bytes (and checksum), or tape_take_unread
    std::vector<int16_t> data[2];       // per copy: the data block's bytes and checksum
    std::vector<unsigned char> program; // the take's own program when it read good or repaired
    tape_take_block_place place[2];     // the header block, the data block
    // Turbo loaders: the addresses as the file was listed (end exclusive).
    bool addressed = false;
    unsigned start = 0, end = 0;
    bool data_file = false; // a data file of the built-in format: no bytes kept, nothing to rescue
};

// The addresses a file's header gives: a turbo file's as listed; a
// built-in-format file's from the bytes read clean in this take (the first
// clean copy of each). Returns false when one is unknown.
bool tape_take_file_addresses(const tape_take_file &file, unsigned *start, unsigned *end);

struct tape_take_reader {
    rom_files rom;
    loader_files loaders;
    uint64_t tick;                                      // where the next sample begins
    std::vector<tape_take_file> found[tape_loader_count]; // in tape order, per loader
    tape_take_file pending[tape_loader_count];          // bytes of a block that may become a file
    uint64_t pending_tick[tape_loader_count];
    bool open[tape_loader_count];                       // the last file of that loader still takes data bytes
};

// A reader for a new take, on the heap (it is large). Any thread.
std::unique_ptr<tape_take_reader> tape_take_reader_new();

// Makes a reader, spent or midway, ready for a new take as
// tape_take_reader_new would, in its own memory: a caller reading take after
// take spares the large allocation. Any thread.
void tape_take_reader_restart(tape_take_reader *reader);

// Reads count samples (pulse lengths in ticks), the next ones of the take.
void tape_take_reader_feed(tape_take_reader *reader, const unsigned short *samples, size_t count);

// The take has ended: files still open are cut short. Returns its files in
// tape order (all loaders merged by position); the reader is spent.
std::vector<tape_take_file> tape_take_reader_finish(tape_take_reader *reader);

// Reads the take in the DMP file or TAP image at path (tape_input.h) to its
// end, streamed, publishing its progress to control (may be null) after
// every piece. Returns 1 with its files in *files; 0 when control asked it to
// stop (*error and *files untouched) or when the file cannot be read (*error
// set: the system's reason, or what is wrong with a TAP image). Blocks on the
// disk for the length of the read (a 45-minute take: about a second). Any
// thread.
int tape_take_read_file(const char *path, std::vector<tape_take_file> *files, tape_read_control *control,
                        GError **error);
