#include "take_reading.h"

#include "tape/clean_tap.h"
#include "tape/tape_rescue.h"

#include <gtest/gtest.h>

std::vector<tape_take_file> test_read_take(const std::string &path)
{
    GError *error = nullptr;
    std::vector<tape_take_file> files;
    EXPECT_TRUE(tape_take_read_file(path.c_str(), &files, nullptr, &error)) << (error ? error->message : "");
    g_clear_error(&error);
    return files;
}

std::vector<tape_take_file> test_clean_image(const std::string &first_path,
                                             const std::vector<std::vector<tape_take_file>> &takes,
                                             const std::string &clean_path)
{
    const sampling_option_values options{};
    GError *error = nullptr;
    if (!clean_tap_write(first_path.c_str(), takes, tape_rescue(takes, nullptr), &options, clean_path.c_str(), 1,
                         nullptr, &error)) {
        ADD_FAILURE() << "the clean image cannot be written: " << (error ? error->message : "");
        g_clear_error(&error);
        return {};
    }
    return test_read_take(clean_path);
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
