#include "Shared/Geometry.h"

#include <gtest/gtest.h>

using zen::CGRect;

TEST(CGRectTest, NegativeSizesAreStandardizedByTheGetters)
{
    const CGRect r(10, 20, -4, -6);
    EXPECT_EQ(r.minX(), 6);
    EXPECT_EQ(r.maxX(), 10);
    EXPECT_EQ(r.minY(), 14);
    EXPECT_EQ(r.maxY(), 20);
    EXPECT_EQ(r.width(), 4);
    EXPECT_EQ(r.standardized(), CGRect(6, 14, 4, 6));
}

TEST(CGRectTest, UnionIgnoresNullButKeepsZeroSizeRectangles)
{
    const CGRect a(0, 0, 10, 10);
    EXPECT_EQ(CGRect::null().united(a), a);
    EXPECT_EQ(a.united(CGRect::null()), a);
    EXPECT_TRUE(CGRect::null().united(CGRect::null()).isNull());
    // A zero-size rectangle is a point that still widens the union (QRectF drops it).
    EXPECT_EQ(a.united(CGRect(20, 30, 0, 0)), CGRect(0, 0, 20, 30));
    EXPECT_EQ(a.united(CGRect(-5, 5, 3, -10)), CGRect(-5, -5, 15, 15));
}

TEST(CGRectTest, IntersectionOfDisjointRectanglesIsNull)
{
    const CGRect a(0, 0, 10, 10);
    EXPECT_EQ(a.intersected(CGRect(5, 5, 10, 10)), CGRect(5, 5, 5, 5));
    EXPECT_TRUE(a.intersected(CGRect(11, 0, 5, 5)).isNull());
    EXPECT_TRUE(a.intersected(CGRect::null()).isNull());
    const CGRect touching = a.intersected(CGRect(10, 0, 5, 5));
    EXPECT_FALSE(touching.isNull());
    EXPECT_TRUE(touching.isEmpty());
    EXPECT_FALSE(a.intersects(CGRect(10, 0, 5, 5)));
    EXPECT_TRUE(a.intersects(CGRect(9, 9, 5, 5)));
}

TEST(CGRectTest, NullInfiniteAndEmpty)
{
    EXPECT_TRUE(CGRect::null().isNull());
    EXPECT_TRUE(CGRect::null().isEmpty());
    EXPECT_TRUE(CGRect::infinite().isInfinite());
    EXPECT_FALSE(CGRect::infinite().isNull());
    EXPECT_TRUE(CGRect(3, 4, 0, 5).isEmpty());
    EXPECT_FALSE(CGRect(3, 4, -1, 5).isEmpty());
    EXPECT_FALSE(CGRect(0, 0, std::nan(""), 1).isFinite());
    EXPECT_FALSE(CGRect(0, 0, 1, 1).contains({1, 0.5}));
    EXPECT_TRUE(CGRect(0, 0, 1, 1).contains({0, 0}));
}
