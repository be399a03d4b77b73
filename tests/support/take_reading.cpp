#include "take_reading.h"

#include <gtest/gtest.h>

std::vector<tape_take_file> test_read_take(const std::string &path)
{
    GError *error = nullptr;
    std::vector<tape_take_file> files;
    EXPECT_TRUE(tape_take_read_file(path.c_str(), &files, nullptr, &error)) << (error ? error->message : "");
    g_clear_error(&error);
    return files;
}

bool test_every_byte_clean(const tape_take_file &file)
{
    const unsigned copies = file.loader == tape_loader_rom ? 2 : 1;
    for (unsigned copy = 0; copy < copies; ++copy)
        for (const std::vector<int16_t> *block : {&file.header[copy], &file.data[copy]})
            for (int16_t byte : *block)
                if (byte == tape_take_unread)
                    return false;
    return true;
}
