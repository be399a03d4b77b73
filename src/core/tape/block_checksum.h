// The checksum that closes a block in the ROM loader and Turbo Tape 250
// formats: the XOR of all its bytes.
#pragma once

#include <cstddef>

// Any thread; never blocks.
inline unsigned char tape_block_checksum(const unsigned char *data, size_t length)
{
    unsigned char sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum ^= data[i];
    return sum;
}
