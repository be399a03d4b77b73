// The simulated device's stream sources, read piece by piece as its console
// sends them. Found by UndefinedBehaviorSanitizer: an empty byte stream handed
// memcpy the null data() of an empty vector.
#include "devsim_stream.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(DevsimStream, EmptyByteStreamEndsAtOnce)
{
    auto stream = devsim_stream_from_bytes({});
    unsigned char out[16] = {};
    EXPECT_EQ(stream->read(out, sizeof out), 0u);
    EXPECT_EQ(stream->read(out, sizeof out), 0u);
}

TEST(DevsimStream, ByteStreamComesOutWholeInAnyPieces)
{
    std::vector<unsigned char> bytes(1000);
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<unsigned char>(i * 13 + 5);
    auto stream = devsim_stream_from_bytes(bytes);
    std::vector<unsigned char> got;
    unsigned char out[64];
    for (size_t room = 1;; room = room % 64 + 1) {
        size_t n = stream->read(out, room);
        if (n == 0)
            break;
        ASSERT_LE(n, room);
        got.insert(got.end(), out, out + n);
    }
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(stream->read(out, sizeof out), 0u);
}

}  // namespace
