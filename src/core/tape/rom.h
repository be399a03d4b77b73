// Name decoder for headers written by the computer's built-in tape routines.
//
// The decoder sees pulse bytes (the low 8 bits of a sample / 8) one at a time
// and watches for the first copy of a header block: a pilot of more than 5000
// short pulses, the countdown 0x89..0x81, a header type of 1 or 3, four
// address bytes and the 16-byte file name. The capture worker's decoder is
// the functions rom_loader_find_name and rom_loader_scan with their one
// file-local state: it survives from one capture to the next and only the
// restart flag or its own return to the pilot search resets it. Every other
// reader of a tape (a file opened, the index, the command line) keeps a
// rom_name_decoder of its own, fresh per tape, and feeds it through the
// rom_name_decoder_ functions, which behave exactly alike.
#pragma once

#include <cstddef>
#include <cstdint>

// A decoder's state; value-initialised ({}) means "never seen a pulse".
struct rom_name_decoder {
    uint32_t state;
    uint32_t pilot_pulses;
    uint32_t byte_count;
    unsigned char bit_halves;
    unsigned char bit_count;
    unsigned char p1;
    unsigned char byte;
    // The name is gathered here and handed over whole when it is complete:
    // the caller's buffer may belong to a later capture than the header's
    // first bytes.
    unsigned char name_bytes[16];
};

// rom_loader_find_name and rom_loader_scan on the given state. Any thread
// that owns decoder.
int rom_name_decoder_find_name(rom_name_decoder *decoder, unsigned char pulse, unsigned char *name, int restart);
std::size_t rom_name_decoder_scan(rom_name_decoder *decoder, const unsigned short *samples, std::size_t count,
                                  unsigned char *name);

// Feeds one pulse byte. Returns 1 exactly when this call completed a name and
// wrote name[0..15] with the file-name field as it stood on tape; otherwise 0
// and name is untouched (name needs 16 writable bytes; it is never read). The
// name is gathered in the decoder's own state, so a header that began in an
// earlier capture still arrives whole in this capture's buffer. With restart
// nonzero the search starts afresh at this pulse (which counts as the first
// pilot pulse if it is short) and the result is 0.
// Constant work, no allocation, never blocks. Only the capture worker calls it:
// not reentrant, no locks.
int rom_loader_find_name(unsigned char pulse, unsigned char *name, int restart);

// Feeds the pulse bytes of samples[0..count) in turn, without restart, and
// stops at the first that completes a name: returns its index + 1, or 0 when
// none did. One call for many pulses, so the capture's pass runs the decoder
// in a loop of its own.
std::size_t rom_loader_scan(const unsigned short *samples, std::size_t count, unsigned char *name);
