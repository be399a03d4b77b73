// Printable text of a tape file name.
//
// A header's name field is 16 PETSCII bytes, usually padded with spaces
// (0x20) or shifted spaces (0xA0). What is shown keeps only the part of
// PETSCII that coincides with ASCII, so the result is plain 7-bit text.
#pragma once

#include <string>

// Trims trailing 0x20 bytes of name[0..15] in place (overwriting them with 0;
// any other byte, 0xA0 included, stops the trim), then copies into out, in
// order, the bytes 0x20..0x5D that stand before the first 0 byte and drops all
// others; out is 0-terminated. At most 16 bytes are examined even if name[16]
// is not 0. Returns nothing; any thread; never blocks.
void petscii_printable_name(unsigned char name[17], char out[17]);

// The same for a name field that stays as it is (16 bytes, no terminator
// needed). Any thread.
std::string petscii_printable_field(const unsigned char field[16]);
