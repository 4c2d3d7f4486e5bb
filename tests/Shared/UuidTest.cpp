#include "Shared/Uuid.h"

#include <gtest/gtest.h>

using namespace zen;

TEST(UuidTest, AcceptsOnlyTheHyphenatedFormInEitherCase)
{
    const auto upper = parseUuidStrict(u"6F9619FF-8B86-D011-B42D-00C04FC964FF");
    const auto lower = parseUuidStrict(u"6f9619ff-8b86-d011-b42d-00c04fc964ff");
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(*upper, *lower);
    EXPECT_EQ(uuidText(*lower), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));

    for (const char16_t* bad : {u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
                                u" 6F9619FF-8B86-D011-B42D-00C04FC964FF",
                                u"6F9619FF8B86D011B42D00C04FC964FF",
                                u"6F9619FF-8B86-D011-B42D-00C04FC964FG",
                                u"6F9619FF-8B86-D011-B42D00C04FC964FF-",
                                u"", u"not-a-uuid"})
        EXPECT_FALSE(parseUuidStrict(QStringView(bad))) << QString::fromUtf16(bad).toStdString();

    const auto nil = parseUuidStrict(u"00000000-0000-0000-0000-000000000000");
    ASSERT_TRUE(nil);
    EXPECT_TRUE(nil->isNull());
}

TEST(UuidTest, OrdersByUpperCaseText)
{
    // QUuid's own ordering compares fields numerically with a signed twist; ties must break
    // by the text as it appears in files.
    const QUuid a = *parseUuidStrict(u"0FFFFFFF-0000-0000-0000-000000000000");
    const QUuid b = *parseUuidStrict(u"A0000000-0000-0000-0000-000000000000");
    EXPECT_TRUE(uuidTextLess(a, b));
    EXPECT_FALSE(uuidTextLess(b, a));
    EXPECT_FALSE(uuidTextLess(a, a));
}
