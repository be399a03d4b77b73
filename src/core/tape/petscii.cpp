#include "tape/petscii.h"

#include <cstring>

namespace {

constexpr unsigned name_field_length = 16;
constexpr unsigned char name_padding = 0x20;
// Space, punctuation, digits, @, capital letters, [, the pound sign (shown
// as a backslash) and ]: the PETSCII bytes that read the same in ASCII.
constexpr unsigned char printable_first = 0x20;
constexpr unsigned char printable_last = 0x5D;

}  // namespace

void petscii_printable_name(unsigned char name[17], char out[17])
{
    for (unsigned position = name_field_length; position-- > 0 && name[position] == name_padding;)
        name[position] = 0;

    unsigned kept = 0;
    for (unsigned position = 0; position < name_field_length && name[position] != 0; ++position) {
        const unsigned char byte = name[position];
        if (byte >= printable_first && byte <= printable_last)
            out[kept++] = static_cast<char>(byte);
    }
    out[kept] = 0;
}

std::string petscii_printable_field(const unsigned char field[16])
{
    unsigned char name[name_field_length + 1];
    std::memcpy(name, field, name_field_length);
    name[name_field_length] = 0;
    char shown[name_field_length + 1];
    petscii_printable_name(name, shown);
    return shown;
}
