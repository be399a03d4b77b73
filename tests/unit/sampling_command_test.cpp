// The numbers of the sampling command for every machine type and every
// combination of the other three option values.
#include "link/sampling_command.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <string>

namespace {

std::string command(int machine, int video, int both_edges, int rising)
{
    char *text = sampling_command_build(machine, video, both_edges, rising);
    std::string result = text;
    g_free(text);
    return result;
}

struct expectation {
    int machine, video, both_edges, rising;
    const char *command;
};

// machine type, video standard, both edges, rising start -> command text
const expectation table[] = {
    {0, 0, 0, 0, "u 0 0 0"}, {0, 0, 0, 1, "u 0 0 0"}, {0, 0, 1, 0, "u 0 0 0"}, {0, 0, 1, 1, "u 0 0 0"},
    {0, 1, 0, 0, "u 0 0 1"}, {0, 1, 0, 1, "u 0 0 1"}, {0, 1, 1, 0, "u 0 0 1"}, {0, 1, 1, 1, "u 0 0 1"},
    {1, 0, 0, 0, "u 0 1 0"}, {1, 0, 0, 1, "u 0 1 0"}, {1, 0, 1, 0, "u 0 1 0"}, {1, 0, 1, 1, "u 0 1 0"},
    {1, 1, 0, 0, "u 0 1 1"}, {1, 1, 0, 1, "u 0 1 1"}, {1, 1, 1, 0, "u 0 1 1"}, {1, 1, 1, 1, "u 0 1 1"},
    {2, 0, 0, 0, "u 0 2 0"}, {2, 0, 0, 1, "u 0 2 0"}, {2, 0, 1, 0, "u 2 2 0"}, {2, 0, 1, 1, "u 2 2 0"},
    {2, 1, 0, 0, "u 0 2 1"}, {2, 1, 0, 1, "u 0 2 1"}, {2, 1, 1, 0, "u 2 2 1"}, {2, 1, 1, 1, "u 2 2 1"},
    {3, 0, 0, 0, "u 0 0 0"}, {3, 0, 0, 1, "u 1 0 0"}, {3, 0, 1, 0, "u 2 0 0"}, {3, 0, 1, 1, "u 3 0 0"},
    {3, 1, 0, 0, "u 0 0 1"}, {3, 1, 0, 1, "u 1 0 1"}, {3, 1, 1, 0, "u 2 0 1"}, {3, 1, 1, 1, "u 3 0 1"},
};

TEST(SamplingCommand, EveryMachineTypeAndOptionCombination)
{
    for (const auto &row : table) {
        SCOPED_TRACE(testing::Message() << "machine " << row.machine << " video " << row.video << " both "
                                        << row.both_edges << " rising " << row.rising);
        EXPECT_EQ(command(row.machine, row.video, row.both_edges, row.rising), row.command);
    }
}

TEST(SamplingCommand, AnyNonZeroCheckValueCountsAsTicked)
{
    // A toggle handler may store any non-zero value for an active button.
    EXPECT_EQ(command(3, 0, 7, -1), "u 3 0 0");
    EXPECT_EQ(command(2, 1, 255, 0), "u 2 2 1");
}

}  // namespace
