// The files of every turbo loader read from one stream: Turbo Tape 250,
// Turrican, Freeload, Hitload, US Gold and Microload (pilot_files.h, one
// reader per row) and Novaload with Novaload Special (novaload_files.h).
// Each reader takes every batch of samples in turn (a read of more than
// pilot_lanes_batch samples in batches of that many; the pilot-byte readers
// share their search, pilot_lanes.h), so records of two formats less than a
// batch apart may come out of tape order; on tape every file's pilot keeps
// them much further apart.
//
// One report for all of them: the loader, the record (name, tick, span,
// verdict, program, rules in the readers' headers), the file's end address
// and its pilot's pulses.
//
// Constant work per sample, no allocation: the readers keep their programs in
// the struct (64 KiB each, about 460 KiB in all). Not thread-safe.
#pragma once

#include "tape/name_finder.h"
#include "tape/novaload_files.h"
#include "tape/pilot_files.h"

#include <cstddef>
#include <cstdint>

struct loader_file {
    tape_loader loader;
    const tape_file_record *record;
    uint32_t end_address;  // exclusive, up to 0x10000
    pilot_pulse_sums pilot_sums; // the pilot's 0 pulses, for the tape health measure
};

// Receive a file (valid during the call) or a byte of one.
using loader_file_report = void (*)(void *context, const loader_file *file);
using loader_byte_report = void (*)(void *context, tape_loader loader, const tape_file_byte *byte);

// The loaders read by the pilot-byte reader, in the order of loader_files::pilot.
inline constexpr tape_loader loader_files_pilot_loaders[] = {
    tape_loader_tt250,   tape_loader_turrican,  tape_loader_freeload,
    tape_loader_hitload, tape_loader_usgold,    tape_loader_microload,
};
inline constexpr unsigned loader_files_pilot_count = sizeof loader_files_pilot_loaders / sizeof(tape_loader);
static_assert(loader_files_pilot_count <= pilot_lanes_max);

struct loader_files;

// Which reader a callback came from.
struct loader_files_route {
    loader_files *files;
    unsigned reader; // index into pilot, or loader_files_pilot_count for Novaload
};

struct loader_files {
    pilot_files pilot[loader_files_pilot_count];
    pilot_lanes lanes;     // their pilot search, one lane each
    novaload_files novaload;
    loader_files_route routes[loader_files_pilot_count + 1];
    loader_file_report report;
    void *context;
    loader_byte_report byte_report;
    void *byte_context;
};

// Prepares for a new stream; report may be nullptr. Any thread.
void loader_files_init(loader_files *files, loader_file_report report, void *context);

// From now on also hands every byte of every file's blocks to report (see
// pilot_files_report_bytes, novaload_files_report_bytes).
void loader_files_report_bytes(loader_files *files, loader_byte_report report, void *context);

// Reads count samples of which the first begins at tick; returns where the
// sample after the last begins.
uint64_t loader_files_read(loader_files *files, const unsigned short *samples, size_t count, uint64_t tick);

// The stream has ended: files still open are cut short.
void loader_files_finish(loader_files *files);
