// What a tape holds, on standard output, one line each:
//
//   TIME<TAB>LOADER<TAB>NAME                 a file found
//   TIME<TAB>health<TAB>NAME<TAB>SPEED<TAB>SPREAD   with --health, after a file's name
//   TIME<TAB>verdict<TAB>NAME<TAB>VERDICT    a file judged
//   TIME<TAB>unread<TAB>LENGTH               a stretch of pulses no format read (tape_unread.h)
//
// Every file is one the tape index's block readers listed (tape_index.h),
// the same files the client's list and a TAP image's index show. TIME
// (m:ss.s) is where the file's header begins, the same on every line of one
// file. LOADER is the loader's word (tape_loader_word: "rom", "tt250",
// "turrican", ...). For a verdict, the second field is the word "verdict"
// (so scripts tell the kinds apart) and VERDICT is "good", "repaired",
// "bad" or "cut short". A health line gives the tape speed and the pulse
// spread measured on the file's pilot or lead-in (tape_health.h), in percent
// with one decimal and a point ("-3.8", "1.9"), or "-" for each when that was
// not measured. NAME is the name as the client's status bar shows it (its
// printable part; a nameless file's address range). `names` with several
// files puts FILE<TAB> in front.
//
// An unread line's TIME is where the stretch begins, LENGTH (m:ss.s) how long
// it lasts. With --check a bad or cut-short file turns a run that otherwise
// succeeded into CLI_EXIT_BAD_FILE, and else an unread stretch into
// CLI_EXIT_UNREAD. Main thread only.
#pragma once

#include "link/sample_pass.h"

#include <string>

// Prints the name line for a file listed (`record`), and with --health the
// health line after it, with "file\t" in front when file is not null, and
// flushes standard output. Returns the printable name (valid until the next
// call).
const char *cli_print_name(const char *file, const tape_file_event *record);

// Prints the name line (cli_print_name) for a record that lists a file, the
// verdict line for one that judges it: nothing for other records. With
// "file\t" in front when file is not null; flushes standard output. A bad or
// cut-short file is counted for cli_checked_status. Returns the printable
// name when a name line was printed, else nullptr.
const char *cli_print_verdict(const char *file, const tape_file_event *record);

// Prints the unread line for `stretch`, with "file\t" in front when file is
// not null, and flushes standard output. The stretch is counted for
// cli_checked_status.
void cli_print_unread(const char *file, const tape_unread_stretch *stretch);

// Prints "[file<TAB>]TIME<TAB>second<TAB>NAME[<TAB>last]" for a file whose
// header begins at ticks (name: the 16-byte field and a terminator), and
// flushes standard output. Returns the printable name (valid until the next
// call).
const char *cli_print_file_line(const char *file, guint64 ticks, const char *second, const unsigned char name[17],
                                const char *last);

// Counts a file that stayed bad for cli_checked_status.
void cli_count_bad_file(void);

// Adds --health to a parser.
void cli_add_health_option(GOptionContext *context);

// "-3.8" for a figure in percent (tape_health_shown_percent), with a point
// whatever the locale.
std::string cli_percent_text(float percent);

// Reads the tapes kept in the DMP files or TAP images at paths[0..count) and
// prints their lines as above (with the file's name in front when count > 1);
// options say which machine wrote a DMP file, for the health figures.
// A TAP image cut short gets one warning and is read as far as it goes; the
// run ends with the tape time, the names found and the tape time read on
// standard error (cli_progress_finish).
// Every regular file is judged before any line is printed: one that is
// neither refuses the run (CLI_EXIT_USAGE, nothing printed); a stream (FIFO,
// pipe, device) is judged as it is read. Inputs are read as streams in fixed
// memory, each with fresh name decoders; file names are printed escaped
// (cli_escaped). Reading stops once standard output has failed. Each record also goes to
// take (may be null) with its file's place in paths, during the call only.
// Returns CLI_EXIT_OK, or CLI_EXIT_FAILED when a file could not be read (the
// others are still read). Blocks while it reads.
using cli_tape_record_take = void (*)(void *context, int file, const tape_file_event *record);
int cli_read_tapes(int count, char **paths, const sampling_option_values *options, cli_tape_record_take take,
                   void *context);

// Adds --check (-c) to a parser.
void cli_add_check_option(GOptionContext *context);

// The exit status of a run that ended with `status`: when --check was given
// and the run succeeded, CLI_EXIT_BAD_FILE after saying how many files were
// bad, if a bad file was printed, or else CLI_EXIT_UNREAD after saying how
// many stretches no format read, if one was printed; else `status`.
int cli_checked_status(int status);
