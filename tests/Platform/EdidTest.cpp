#include "Platform/Edid.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

// A base block with the given identity and optional monitor-name descriptor, checksummed.
QByteArray edidBlock(std::uint16_t manufacturer, std::uint16_t product, std::uint32_t serial, const char* name = nullptr)
{
    QByteArray b(128, '\0');
    const unsigned char header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    for (int i = 0; i < 8; ++i)
        b[i] = char(header[i]);
    b[8] = char(manufacturer >> 8);
    b[9] = char(manufacturer & 0xFF);
    b[10] = char(product & 0xFF);
    b[11] = char(product >> 8);
    for (int i = 0; i < 4; ++i)
        b[12 + i] = char((serial >> (8 * i)) & 0xFF);
    b[18] = 1;
    b[19] = 4;
    if (name) {
        const int d = 72; // second descriptor
        b[d + 3] = char(0xFC);
        int i = 0;
        for (; name[i] && i < 13; ++i)
            b[d + 5 + i] = name[i];
        if (i < 13)
            b[d + 5 + i++] = 0x0A;
        for (; i < 13; ++i)
            b[d + 5 + i] = 0x20;
    }
    unsigned sum = 0;
    for (int i = 0; i < 127; ++i)
        sum += static_cast<unsigned char>(b[i]);
    b[127] = char((256 - sum % 256) % 256);
    return b;
}

TEST(Edid, ReadsIdentityAndNameAndDropsPlaceholderNumbers)
{
    struct Case {
        QByteArray edid;
        std::optional<std::uint32_t> vendor, product, serial;
        std::optional<QString> name;
    };
    // "DEL" = 0x10AC; 0x01010101 is the placeholder serial many monitors report.
    for (const Case& c : {Case{edidBlock(0x10AC, 0xA0C3, 0x4C4B4A32, "DELL U2720Q"), 0x10AC, 0xA0C3, 0x4C4B4A32, "DELL U2720Q"},
                          Case{edidBlock(0x4C2D, 0x0F39, 12345), 0x4C2D, 0x0F39, 12345, std::nullopt},
                          Case{edidBlock(0x4C2D, 0x0F39, 0x01010101), 0x4C2D, 0x0F39, std::nullopt, std::nullopt},
                          Case{edidBlock(0x4C2D, 0, 0), 0x4C2D, std::nullopt, std::nullopt, std::nullopt}}) {
        const EdidIdentity id = parseEdid(c.edid);
        EXPECT_EQ(id.vendorID, c.vendor);
        EXPECT_EQ(id.productID, c.product);
        EXPECT_EQ(id.serialNumber, c.serial);
        EXPECT_EQ(id.monitorName, c.name);
    }
}

TEST(Edid, BadHeaderChecksumOrLengthGiveNothing)
{
    QByteArray bad = edidBlock(0x10AC, 1, 2, "X");
    bad[40] = char(bad[40] + 1);
    EXPECT_FALSE(parseEdid(bad).vendorID.has_value());
    EXPECT_FALSE(parseEdid(bad).monitorName.has_value());

    QByteArray header = edidBlock(0x10AC, 1, 2);
    header[0] = 0x01;
    header[127] = char(header[127] - 1); // keep the sum right; only the header is wrong
    EXPECT_FALSE(parseEdid(header).vendorID.has_value());

    EXPECT_FALSE(parseEdid(edidBlock(0x10AC, 1, 2).left(127)).vendorID.has_value());
    EXPECT_FALSE(parseEdid(QByteArray()).productID.has_value());
    // Extension blocks after the base block do not disturb it.
    EXPECT_EQ(parseEdid(edidBlock(0x10AC, 1, 2) + QByteArray(128, '\x7f')).productID, 1u);
}

TEST(Edid, DisplayIdIsStableFnv1a)
{
    EXPECT_EQ(stableDisplayID(""), 2166136261u);
    EXPECT_EQ(stableDisplayID("a"), 0xE40C292Cu);
    EXPECT_EQ(stableDisplayID("DP-1"), stableDisplayID(QByteArray("DP-1")));
    EXPECT_NE(stableDisplayID("DP-1"), stableDisplayID("DP-2"));
}

} // namespace
} // namespace zen
