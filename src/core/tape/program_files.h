// Programs taken off a tape, saved as .prg files: the load address (2 bytes,
// low byte first), then the bytes, the form Commodore tools and emulators
// read.
//
// File names come from the tape's name field, the same for every front end:
// the printable form the contents list shows (petscii.h), trailing spaces
// dropped; the characters a FAT file system refuses (" * / : < > ? \ |) and
// control characters become '_'; a leading '.' or '-' becomes '_'; an empty
// name becomes "unnamed"; then ".prg". Files of one tape whose names come out
// the same get " (2)", " (3)"... in tape order. A name is never a path: it
// holds no '/' and is never "." or "..".
//
// Any thread; nothing here keeps state.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct tape_program {
    std::array<unsigned char, 16> name; // the name field as on tape
    uint16_t load_address;
    std::vector<unsigned char> bytes;
};

// The file name for one tape name, ".prg" included.
std::string program_file_name(const unsigned char name[16]);

// The file names for the programs of one tape, in tape order, same names
// numbered.
std::vector<std::string> program_file_names(const std::vector<tape_program> &programs);

// The name of the next file of a tape whose files so far are taken (names
// given by program_file_names or earlier calls); adds it to taken.
std::string program_file_name_next(const unsigned char name[16], std::vector<std::string> *taken);

// The name of a folder for the programs of the tape in the file at path (a
// name in the file system's encoding): the file's base name without its
// extension, made safe by the rule above (never empty, ".", ".." or a path),
// numbered " (2)", " (3)"... when taken already holds it; adds it to taken.
std::string program_folder_name_next(const char *path, std::vector<std::string> *taken);

// Writes the program to path through a staged file (staged_file.h): under a
// temporary name in the same folder, renamed into place when complete, so a
// failure leaves no half program and any earlier file as it was. A regular
// file there is replaced only when replace is true; else it is kept, also
// one that appears while the program is written, and the reason is "File
// exists" with *exists set (may be null). Returns true, or false with *error
// the reason ("No space left on device", "Not a regular file"). Blocks on
// the disk.
bool program_file_write(const std::string &path, const tape_program &program, bool replace, std::string *error,
                        bool *exists = nullptr);
