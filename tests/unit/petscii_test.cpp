// The printable text of a name field: trailing spaces trimmed, PETSCII
// outside the ASCII-compatible range dropped.
#include "tape/petscii.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Runs the filter on 16 name bytes (plus the terminator) and returns the text.
std::string printable(const std::string &sixteen, unsigned char terminator = 0)
{
    EXPECT_EQ(sixteen.size(), 16u);
    unsigned char name[17];
    std::memcpy(name, sixteen.data(), 16);
    name[16] = terminator;
    char out[17];
    std::memset(out, 'Z', sizeof out);
    petscii_printable_name(name, out);
    return out;
}

TEST(PetsciiName, TrailingSpacesAreTrimmed)
{
    EXPECT_EQ(printable("GAME            "), "GAME");
}

TEST(PetsciiName, ShiftedSpacePaddingIsDroppedByTheFilter)
{
    EXPECT_EQ(printable("GAME\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0"), "GAME");
}

TEST(PetsciiName, TrimStopsAtAShiftedSpaceSoAnEarlierSpaceStays)
{
    EXPECT_EQ(printable("GAME \xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0\xa0"), "GAME ");
}

TEST(PetsciiName, SixteenSpacesGiveAnEmptyName)
{
    EXPECT_EQ(printable("                "), "");
}

TEST(PetsciiName, InnerAndLeadingSpacesStay)
{
    EXPECT_EQ(printable("MY GAME         "), "MY GAME");
    EXPECT_EQ(printable("  GAME          "), "  GAME");
}

TEST(PetsciiName, InnerZeroByteEndsTheName)
{
    EXPECT_EQ(printable(std::string("GAME\0REST       ", 16)), "GAME");
}

TEST(PetsciiName, OnlyBytesOutsideTheRangeGiveAnEmptyName)
{
    EXPECT_EQ(printable("\x93\x05\x1f\x5e\x7f\x80\xa0\xc1\xda\xff\x01\x0d\x60\x61\x7a\xfe"), "");
}

TEST(PetsciiName, RangeEdgesAndControlCodes)
{
    // 0x20 and 0x5D are kept, 0x1F and 0x5E dropped; 0x5C (the pound sign) is kept.
    EXPECT_EQ(printable("\x93\x05GYRO RUN\x5c\x5d\x5e\x1f\x20\x20"), "GYRO RUN\\]");
}

TEST(PetsciiName, TrimOverwritesTrailingSpacesInPlace)
{
    unsigned char name[17] = "RL              ";
    char out[17];
    petscii_printable_name(name, out);
    EXPECT_EQ(name[1], 'L');
    for (int i = 2; i < 16; ++i)
        EXPECT_EQ(name[i], 0) << "position " << i;
}

TEST(PetsciiName, NoTerminatorIsReadPastPosition15)
{
    EXPECT_EQ(printable("ABCDEFGHIJKLMNOP", 'Q'), "ABCDEFGHIJKLMNOP");
}

}  // namespace
