#include "Shared/StringExtensions.h"
#include "Shared/TextEquivalence.h"
#include "Shared/UserFacingError.h"

#include <gtest/gtest.h>

using namespace zen;

TEST(TextEquivalenceTest, ComposedAndDecomposedFormsAreEqualAndHashAlike)
{
    const QString composed = QString::fromUtf16(u"Caf\u00E9");
    const QString decomposed = QString::fromUtf16(u"Cafe\u0301");
    EXPECT_TRUE(canonicallyEqual(composed, decomposed));
    EXPECT_EQ(canonicalHash(composed), canonicalHash(decomposed));
    EXPECT_FALSE(canonicallyEqual(composed, QStringLiteral("Cafe")));
    // Compatibility forms are not canonical ones: the "fi" ligature is not "fi".
    EXPECT_FALSE(canonicallyEqual(QString::fromUtf16(u"\uFB01"), QStringLiteral("fi")));

    EXPECT_TRUE(canonicallyEqual(std::optional<QString>(), std::optional<QString>()));
    EXPECT_FALSE(canonicallyEqual(std::optional<QString>(), std::optional<QString>(QString())));
    EXPECT_NE(canonicalHash(std::optional<QString>()), canonicalHash(std::optional<QString>(QString())));
}

TEST(CappedWindowTitleTest, CutsLongTitlesWithoutSplittingACharacter)
{
    EXPECT_EQ(cappedWindowTitle(QStringLiteral("Short")), QStringLiteral("Short"));
    const QString exact(maximumWindowTitleLength, QChar(u'a'));
    EXPECT_EQ(cappedWindowTitle(exact), exact);
    EXPECT_EQ(cappedWindowTitle(exact + u'b'), exact);
    // An emoji straddling the limit goes whole rather than leaving half a surrogate pair.
    const QString head(maximumWindowTitleLength - 1, QChar(u'a'));
    EXPECT_EQ(cappedWindowTitle(head + QString::fromUtf16(u"\U0001F600") + u'z'), head);
}

TEST(IsolatedForDisplayTest, ContainsDirectionAndLineBreaksOfForeignText)
{
    const auto u = [](const char16_t* text) { return QString::fromUtf16(text); };
    struct Case {
        QString text;
        QString shown;
    };
    const Case cases[] = {
        // Left-to-right text cannot reorder the sentence around it: kept as it is.
        {u(u""), u(u"")},
        {u(u"Work 2"), u(u"Work 2")},
        {u(u"\u05E2\u05D1\u05D5\u05D3\u05D4"), u(u"\u2068\u05E2\u05D1\u05D5\u05D3\u05D4\u2069")},
        // A right-to-left letter beyond the first plane counts too.
        {u(u"a\U0001E900"), u(u"\u2068a\U0001E900\u2069")},
        // An override stays inside the isolate, which ends every embedding opened within it.
        {u(u"\u202Eexe.live"), u(u"\u2068\u202Eexe.live\u2069")},
        {u(u"one\u2028two\u2029three\nfour\r\n"), u(u"one two three four  ")},
        {u(u"\u202Eone\u2028two"), u(u"\u2068\u202Eone two\u2069")},
        // A stray pop would close our isolate early: dropped. One left open is closed.
        {u(u"a\u2069\u202Eb"), u(u"\u2068a\u202Eb\u2069")},
        {u(u"a\u2067b"), u(u"\u2068a\u2067b\u2069\u2069")},
        {u(u"\u2066x\u2069\u2069y"), u(u"\u2068\u2066x\u2069y\u2069")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isolatedForDisplay(c.text), c.shown) << c.text.toStdString();
    EXPECT_EQ(separatorsAsSpaces(u(u"a\u2028b\nc")), QStringLiteral("a b c"));
}

TEST(NonEmptyValueTest, TrimsBlanksAndTurnsBlankTextIntoAbsence)
{
    EXPECT_EQ(nonEmptyValue(QStringLiteral("  Work  \n")), QStringLiteral("Work"));
    EXPECT_EQ(nonEmptyValue(QStringLiteral("a b")), QStringLiteral("a b"));
    EXPECT_EQ(nonEmptyValue(QString()), std::nullopt);
    EXPECT_EQ(nonEmptyValue(QStringLiteral(" \t\r\n ")), std::nullopt);
    // Unicode blanks: no-break space, ideographic space, line separator.
    EXPECT_EQ(nonEmptyValue(QString::fromUtf16(u"\u00A0\u3000\u2028")), std::nullopt);
    EXPECT_EQ(nonEmptyValue(std::optional<QString>()), std::nullopt);
    EXPECT_EQ(nonEmptyValue(std::optional<QString>(QStringLiteral(" x"))), QStringLiteral("x"));
}

namespace {
struct TestError {
    QString localized;
    QString localizedDescription() const { return localized; }
    QString ownDescription() const { return QStringLiteral("TestError.case"); }
};
} // namespace

TEST(UserFacingDescriptionTest, FallsBackToThePrintedFormForEmptyOrGenericMessages)
{
    EXPECT_EQ(userFacingDescription(TestError{QStringLiteral("Disk is full.")}), QStringLiteral("Disk is full."));
    EXPECT_EQ(userFacingDescription(TestError{QString()}), QStringLiteral("TestError.case"));
    EXPECT_EQ(userFacingDescription(TestError{QString::fromUtf16(u"The operation couldn\u2019t be completed.")}),
              QStringLiteral("TestError.case"));
    EXPECT_EQ(userFacingDescription(TestError{QStringLiteral("The operation couldn't be completed.")}),
              QStringLiteral("TestError.case"));
    const QString longer = QStringLiteral("The operation couldn't be completed. (Domain 4.)");
    EXPECT_EQ(userFacingDescription(TestError{longer}), longer);
}
