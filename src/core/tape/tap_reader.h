// TAP images read back into the device's samples: the header judged, then
// the entries turned into samples a block at a time.
//
// An image of version 0, 1 or 2 (the header is in tap_writer.h) stores a
// tape as pulse lengths in units of 8 machine cycles; a 0 byte means a longer
// pulse (version 0: an overflow of unknown length; versions 1 and 2: the next
// three bytes hold the exact cycle count, low byte first). Version 2 stores
// half waves, two per pulse. The device counts 2 MHz ticks, so a pulse of c
// cycles becomes c x 2000000 / clock ticks, rounded, where clock is the
// machine's clock taken from the header or given by the caller. A pulse
// longer than 65535 ticks (a pause) becomes as many equal samples as it
// needs, so the tape keeps its length; a version 0 overflow, of unknown
// length, becomes one sample of 65535.
//
// The decoder keeps a half wave and the rest of a split pause between calls,
// so entries can come in blocks of any size from a file or a stream. Any thread; a decoder belongs
// to one thread at a time. Nothing here blocks or allocates.
#pragma once

#include <glib.h>

#include <cstddef>

// What a header says, and the clock used for the conversion.
struct tape_tap_info {
    unsigned version;   // 0, 1 or 2
    unsigned machine;   // header byte 13: 0 C64, 1 VIC-20, 2 C16/Plus4 (0 in version 0)
    unsigned video;     // header byte 14: 0 PAL, 1 NTSC, 2 old NTSC, 3 PAL-N (0 in version 0)
    unsigned clock_hz;  // the clock used for the conversion
};

// Whether the first bytes of a file begin with a TAP signature ("C64-TAPE-RAW"
// or "C16-TAPE-RAW"); size may be shorter than a signature.
int tap_reader_has_signature(const unsigned char *bytes, std::size_t size);

// Judges a header of `size` bytes (at most TAP_HEADER_SIZE are looked at).
// Returns 1 and fills *info and *entry_bytes (the length field) for a header
// of version 0 to 2; clock_hz 0 takes the clock from the header. Returns 0
// with a reason in *error (English, constant) for bytes that are no TAP
// image, an image cut short inside its header, or an unknown version.
int tap_reader_header(const unsigned char *header, std::size_t size, unsigned clock_hz, tape_tap_info *info,
                      guint32 *entry_bytes, const char **error);

// Pulses up to this many entry units (two short half waves at most) are
// looked up rather than divided out: nearly every pulse of an image.
inline constexpr unsigned tap_entry_units_looked_up = 511;

// Turns entries into samples for one image.
struct tap_entry_decoder {
    unsigned version;
    unsigned clock_hz;
    unsigned short ticks_of_units[tap_entry_units_looked_up]; // a pulse of so many 8-cycle units, in ticks
    guint64 half_wave;   // version 2: the first half of a pulse, waiting for its second
    int have_half_wave;
    guint64 pause_ticks;   // a pause being split: its length,
    guint64 pause_pieces;  // the samples it becomes,
    guint64 pause_left;    // and those not yet handed out
};

// Starts the decoder for an image with this header.
void tap_entry_decoder_init(tap_entry_decoder *decoder, const tape_tap_info *info);

// Decodes entries from bytes[0..size) into samples[0..max). Stops when
// `max` samples are out, or when the bytes left could be the start of a cut
// long entry: with at_end nonzero they are the image's last, so a cut entry
// ends it and a half wave left over becomes a pulse of its own; else the
// caller keeps them and calls again with more behind them. Returns the number
// of bytes taken; *produced is the number of samples out. Call again until
// all bytes are taken and no sample comes out. Pass max >= 1.
std::size_t tap_entry_decoder_run(tap_entry_decoder *decoder, const unsigned char *bytes, std::size_t size,
                                  int at_end, unsigned short *samples, std::size_t max, std::size_t *produced);
