#include "Platform/X11/X11DesktopReader.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

TEST(X11PropertyText, CutOffAndBrokenUtf8StayReadable)
{
    EXPECT_EQ(decodeUtf8Property("Caf\xc3\xa9"), QString::fromUtf8("Caf\xc3\xa9"));
    // A title cut inside a three-byte character loses the partial character only.
    EXPECT_EQ(decodeUtf8Property("Euro \xe2\x82"), "Euro ");
    EXPECT_EQ(decodeUtf8Property("Euro \xe2"), "Euro ");
    // A complete character at the end is kept.
    EXPECT_EQ(decodeUtf8Property("Euro \xe2\x82\xac"), QString::fromUtf8("Euro \xe2\x82\xac"));
    // Invalid bytes in the middle become replacement characters, not a failure.
    const QString broken = decodeUtf8Property(QByteArray("A\xff\xfe" "B"));
    EXPECT_TRUE(broken.startsWith('A'));
    EXPECT_TRUE(broken.endsWith('B'));
    EXPECT_TRUE(broken.contains(QChar::ReplacementCharacter));
    // Items after a NUL are not part of the title.
    EXPECT_EQ(decodeUtf8Property(QByteArray("One\0Two", 7)), "One");
    EXPECT_EQ(decodeUtf8Property(QByteArray()), "");
}

} // namespace
} // namespace zen
