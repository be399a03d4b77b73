// The sample pass: what happens to every sample of a capture's stream.
//
// Each sample goes first to the plot's row builder, then (as a pulse byte)
// to the three tape-header name decoders when names are asked for. A name
// found is handed to the interface as a heap sample_pass_name that the
// receiving callback frees.
// When asked (sample_pass_list_files), every sample also goes to the tape
// index, whose file records are handed over the same way, and to the unread
// stretches' detector (tape_unread.h), which is told of every record before
// the interface is, so a stretch reaches the interface before the record of
// the file that follows it. Every sample is
// measured for the tape's health (tape_health.h) before anything else sees
// it, so file records carry their pilot's figures.
#pragma once

#include "sampling_options.h"
#include "tape/name_finder.h"
#include "tape/tape_health.h"
#include "tape/tap_index_file.h"
#include "tape/tape_index.h"
#include "tape/tape_unread.h"

#include <glib.h>

// A name found on tape by the name decoders, as the interface receives it
// (the capture's live status). Files, their names included, are listed from
// the tape index's records (sample_pass_list_files).
struct sample_pass_name {
    unsigned char name[17];  // the 16 PETSCII bytes of the name field as on tape, and a 0
    tape_loader loader;      // which decoder found it
    guint64 tape_ticks;      // tape time from the start of the stream to the end of the name's last pulse
};

struct sample_pass {
    guint32 tick_sum;     // tape time not yet turned into a plot row
    guint64 tape_ticks;   // tape time of every sample passed on
    guint64 samples;      // samples passed on
    name_finder finder;   // the name decoders (their own, or the capture worker's) and the restart flag
    GSourceFunc print_name;  // receives each name found; nullptr: names dropped
    GSourceFunc tape_file;   // receives each file record; nullptr: none handed over
    bool listing;            // files are listed (sample_pass_list_files)
    tap_index_builder *image_index; // takes each file record too; nullptr: none
    tape_index index;        // used only while listing
    GSourceFunc unread_stretch; // receives each stretch read by no format; nullptr: none handed over
    tape_unread unread;      // used only while listing
    tape_health health;      // the live figures: tape_health_live(&pass->health, ...)
};

// Starts a capture's pass; tape health is measured against a C64 on PAL.
// print_name nullptr: no names wanted, and the name decoders are not run.
// Worker thread.
void sample_pass_init(sample_pass *pass, GSourceFunc print_name);

// Measures tape health against a machine with this clock instead
// (tape_health_init). Worker thread, right after sample_pass_init.
void sample_pass_measure_for(sample_pass *pass, double clock_hz, int half_waves);

// The same for the machine, video standard and edge choice of a capture's
// sampling options.
void sample_pass_measure_for_options(sample_pass *pass, const sampling_option_values *options);

// The pass is a capture's: its names come from the capture worker's decoders,
// whose state goes on from the previous capture (name_finder.h). Without it
// a pass has decoders of its own that have seen nothing, as a tape read from
// a file needs. Capture worker, right after sample_pass_init.
void sample_pass_use_capture_decoders(sample_pass *pass);

// Lists the capture's files too: each record (tape_index.h) goes to tape_file
// (may be nullptr) as a heap copy of a tape_file_event, its program's bytes
// (if any) in the same block, which the callback frees with one g_free.
// Worker thread, right after sample_pass_init.
void sample_pass_list_files(sample_pass *pass, GSourceFunc tape_file);

// Lists the capture's files (as sample_pass_list_files, if not asked yet)
// for the index of a TAP image made from the capture: each record goes to
// image_index (tap_index_builder_take) on the worker thread, so the image's
// index needs no second reading of the tape. Worker thread, right after
// sample_pass_init.
void sample_pass_index_image(sample_pass *pass, tap_index_builder *image_index);

// While files are listed, hands each stretch of the tape read by no format
// (tape_unread.h) to unread_stretch as a heap tape_unread_stretch, which the
// callback frees. Worker thread, right after sample_pass_list_files.
void sample_pass_list_unread(sample_pass *pass, GSourceFunc unread_stretch);

// The tape time the files listed so far take (tape_unread_read_ticks); 0
// unless files are listed. Worker thread.
guint64 sample_pass_read_ticks(const sample_pass *pass);

// The capture has ended: a file still being read is cut short, and the
// unread stretches not yet handed over are. Worker thread.
void sample_pass_finish(sample_pass *pass);

struct tape_read_control;

// A tape kept in a file, passed on as a capture's stream is: reads the DMP
// file or TAP image at path (tape_input.h) a block at a time into the pass,
// so each name and each file record reaches the pass's callbacks as it is
// found. Health is measured for the machine a TAP image's header names; for a
// DMP file, for `options` (nullptr: as sample_pass_init set it). Between
// blocks it publishes the pass's progress as a capture's
// (sample_pass_publish_progress, the file's bytes read as the dump's size;
// whoever watches resets the capture progress before), publishes its
// progress to control and stops when asked (control may be null). Returns 1 at the tape's end, -1 when stopped, 0 with *error
// set when the file cannot be opened or read. Leaves sample_pass_finish to
// the caller. Blocks on the disk (on a stream, until its writer writes or
// closes); the thread that owns the pass.
int sample_pass_read_file(sample_pass *pass, const char *path, const sampling_option_values *options,
                          tape_read_control *control, GError **error);

// Publishes how far the pass has come as a capture's progress
// (capture_progress.h): its tape time and pulses, `bytes` as the dump's size,
// and its live health figures when the pass took in new pilot pulses since
// *health_news_seen (0 at the start; kept by the caller). Worker thread,
// after each piece.
void sample_pass_publish_progress(const sample_pass *pass, guint64 bytes, guint64 *health_news_seen);

// Passes count samples on. Also the adapter for capture_outputs.samples;
// context is a sample_pass. Worker thread; never blocks beyond the plot's
// short lock; allocates only for a found name or file or a stretch unread.
void sample_pass_take(void *context, const unsigned short *samples, unsigned count);
