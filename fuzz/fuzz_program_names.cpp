// The names that programs and index lines get from tape names, built with
// AddressSanitizer and UndefinedBehaviorSanitizer.
//
// Input: 16 bytes of a name field, then the rest as the TAP image's name.
// Invariants:
// - a program's file name is never empty, holds no '/', no control
//   character and none a FAT file system refuses, is never "." or "..",
//   does not begin with '.' or '-' and ends in ".prg";
// - same names of one tape get different file names;
// - the index text begins with a comment line, every other line is
//   "0x<hex> <name>", holds no control character, and the whole stays under
//   8 KB.
#include "tape/program_files.h"
#include "tape/tap_index_file.h"

#include "translate.h"

#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

namespace {

void check(bool holds, const char *what)
{
    fuzz_check(holds, "program_names", what);
}

bool is_safe(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte != 0x7F && std::strchr("\"*/:<>?\\|", c) == nullptr;
}

void check_file_name(const std::string &name)
{
    check(name.size() > 4 && name.compare(name.size() - 4, 4, ".prg") == 0, "a file name without .prg");
    check(name[0] != '.' && name[0] != '-', "a file name begins with . or -");
    for (char c : name)
        check(is_safe(c), "an unsafe character in a file name");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    unsigned char field[16];
    std::memset(field, 0x20, sizeof field);
    std::memcpy(field, data, size < 16 ? size : 16);
    check_file_name(program_file_name(field));

    // The same name three times on one tape, and names from every 16 bytes.
    std::vector<tape_program> programs(3);
    for (tape_program &program : programs)
        std::memcpy(program.name.data(), field, 16);
    for (size_t at = 16; at + 16 <= size && programs.size() < 64; at += 16) {
        programs.emplace_back();
        std::memcpy(programs.back().name.data(), data + at, 16);
    }
    const std::vector<std::string> names = program_file_names(programs);
    check(std::set<std::string>(names.begin(), names.end()).size() == names.size(), "two files share a name");
    for (const std::string &name : names)
        check_file_name(name);

    const std::string image(reinterpret_cast<const char *>(data) + (size < 16 ? size : 16),
                            size < 16 ? 0 : size - 16);
    std::vector<tap_index_entry> entries;
    for (size_t i = 0; i < 400; ++i)
        entries.push_back({20 + i * 977, names[i % names.size()].substr(0, 27)});
    const std::string text = tap_index_text(image.c_str(), entries);
    check(text.size() < 8192, "the index is 8 KB or more");
    check(text.rfind("; ", 0) == 0, "the index does not begin with a comment");
    size_t line_start = text.find('\n') + 1;
    while (line_start < text.size()) {
        const size_t end = text.find('\n', line_start);
        check(end != std::string::npos, "the index's last line is not ended");
        check(text.compare(line_start, 2, "0x") == 0, "an index line without its offset");
        line_start = end + 1;
    }
    for (char c : text)
        check(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F), "a control character in the index");
    return 0;
}
