// The tape's contents as it plays: every file with its place on the tape,
// whether it read back clean, and the program of each that did.
//
// One place for the files of every loader. Fed every sample of a capture,
// it reports each file through one callback, as a whole record every time:
// - when the file is found: sequence number, loader, position, name (a
//   nameless file's address range, "$0801-$1035"), and the verdict
//   "reading...";
// - once more when a file is judged: the same record with the verdict good,
//   repaired, bad (rules in rom_files.h, rom_block_check.h, pilot_files.h,
//   novaload_files.h) or cut short (the capture ended inside the file,
//   tape_index_finish); a good or repaired program comes with its load
//   address and bytes.
// A record whose verdict is not tape_verdict_reading is final: no record with
// that sequence number follows.
//
// Where the files come from: the block readers (rom_files.h for the
// built-in format, loader_files.h for every turbo loader), which read every
// header themselves (so a header is listed even where a name decoder, which
// needs a clean first copy, saw none, and a data block that begins as a
// header does is no file). The client's list, the command line's lines and
// a TAP image's index all take their files, names and places from these
// records; the name decoders serve only the capture's live status. The readers take each batch of
// samples in turn, so records of two formats less than a batch apart could
// come out of order; on tape, every block's lead-in or pilot keeps them much
// further apart.
//
// Position: ticks since the capture began (2,000,000 ticks per second), at
// the header's first byte: the first countdown byte of the header's first
// copy (estimated from the byte length if that byte was damaged), the first
// byte of a pilot-byte loader's sync train, Novaload's sync pulse, a
// Novaload Special run's first page byte.
//
// How front ends use it (through sample_pass_list_files, which hands each
// record to the interface thread as a heap copy):
// - a list with one row per file: a record with a new sequence number adds a
//   row (position as m:ss, tape_loader_text, the name through
//   petscii_printable_name, tape_verdict_text); a record with a known sequence
//   number updates that row's verdict;
// - a command line: print one line per final record, e.g.
//   "m:ss.s<TAB>loader<TAB>NAME<TAB>verdict"; a "bad" or "cut short" verdict
//   is what a check mode fails on.
//
// Constant work per sample on average, no allocation (the block readers keep
// one program each in the struct, about 600 KiB in all); the callback runs on
// the feeding thread. Not thread-safe: one index per capture.
#pragma once

#include "tape/rom_files.h"
#include "tape/tape_health.h"
#include "tape/loader_files.h"
#include "tape/tape_verdict.h"

#include <cstddef>
#include <cstdint>

struct tape_file_event {
    uint32_t sequence;       // 1 for the capture's first file, then in the order found
    tape_loader loader;
    uint64_t tick;           // position of the header's first byte, ticks since the capture began
    // The stretch of tape the file takes, as its reader states it
    // (tape_file_record.h); first_tick is where a TAP image's index places
    // the file (tap_index_file.h).
    uint64_t first_tick;
    uint64_t end_tick;
    unsigned char name[17];  // the 16 bytes of the name field as on tape, then 0
    tape_verdict verdict;
    tape_health_figures health;  // of the file's pilot or lead-in; pulses 0 when unmeasured or not asked for
    // A program judged good or repaired: its load address and bytes (the
    // bytes valid as long as the event); else program nullptr, length 0.
    uint16_t load_address;
    uint32_t program_length;
    const unsigned char *program;
};

// Receives each record; valid during the call only.
using tape_file_sink = void (*)(void *context, const tape_file_event *event);

// Samples are kept for the block readers, which read a batch of them at a
// time.
inline constexpr unsigned tape_index_recent_samples = 512;
inline constexpr unsigned tape_index_batch = 256;

struct tape_index {
    rom_files rom;
    loader_files loaders;
    uint64_t tick;             // where the first sample the block reader has not read begins
    // Samples fed, and of those the block reader has read. 64 bits: about a
    // day of stream at the line's rate, or a dump of 8 GiB, passes 2^32
    // samples, and a turbo header completed just after that would be placed
    // from too few of them. A test may set both to one value after
    // tape_index_init to stand for a long capture.
    uint64_t samples_seen;
    uint64_t samples_read;
    uint32_t sequence;         // of the last file found
    uint32_t rom_sequence;     // of the built-in-format file being read
    uint32_t loader_sequence[tape_loader_count]; // of each turbo loader's file being read
    tape_file_sink sink;
    void *context;
    tape_health *health;       // where records take their files' health from, and the pilots the readers measured go; nullptr: none
    unsigned short recent[tape_index_recent_samples];
};

// Starts an index for a new capture; sink may be nullptr. Records carry no
// health figures unless index->health is set to the capture's measure, which
// must be fed each sample before the index. Any thread.
void tape_index_init(tape_index *index, tape_file_sink sink, void *context);

// Lets the block readers read the samples fed so far.
void tape_index_catch_up(tape_index *index);

// Feeds one sample. Inline, as it runs for every sample: it keeps the sample
// until a batch is full, so records come up to tape_index_batch samples late
// (a fraction of a second of tape), always in tape order.
inline void tape_index_feed(tape_index *index, unsigned short sample)
{
    index->recent[index->samples_seen++ % tape_index_recent_samples] = sample;
    if (index->samples_seen % tape_index_batch == 0)
        tape_index_catch_up(index);
}

// tape_index_feed for each of `count` samples in turn.
void tape_index_feed_samples(tape_index *index, const unsigned short *samples, std::size_t count);

// The capture has ended: a file still being read is cut short (never good).
void tape_index_finish(tape_index *index);

// English texts, constant: tape_loader_english (loader_table.h) and
// "reading...", "good", "repaired", "bad", "not checked", "cut short", "rescued". A front end shows
// them through its translation.
const char *tape_loader_text(tape_loader loader);
const char *tape_verdict_text(tape_verdict verdict);
