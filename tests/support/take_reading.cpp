#include "take_reading.h"

#include "tape/tape_input.h"

#include <gtest/gtest.h>

std::vector<tape_take_file> test_read_take(const std::string &path)
{
    GError *error = nullptr;
    tape_input *input = tape_input_open(path.c_str(), 0, &error);
    EXPECT_NE(input, nullptr) << (error ? error->message : "");
    auto reader = tape_take_reader_new();
    unsigned short samples[4096];
    long got;
    while (input && (got = tape_input_read(input, samples, 4096, &error)) > 0)
        tape_take_reader_feed(reader.get(), samples, size_t(got));
    tape_input_close(input);
    return tape_take_reader_finish(reader.get());
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
