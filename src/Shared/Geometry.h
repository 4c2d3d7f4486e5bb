#pragma once

#include <cmath>
#include <limits>

namespace zen {

struct CGPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
    double width = 0;
    double height = 0;
    friend bool operator==(const CGSize&, const CGSize&) = default;
};

// A rectangle with the semantics of the desktop's native geometry type, which differ from
// QRectF: widths and heights may be negative (the getters standardize), there is a distinct
// null rectangle (the result of intersecting disjoint rectangles, ignored by union), and a
// zero-size rectangle still has a position that union and intersection honour.
struct CGRect {
    CGPoint origin;
    CGSize size;

    constexpr CGRect() = default;
    constexpr CGRect(double x, double y, double width, double height)
        : origin{x, y}, size{width, height} {}

    static CGRect null()
    {
        const double inf = std::numeric_limits<double>::infinity();
        return CGRect(inf, inf, 0, 0);
    }
    // The rectangle that contains every point.
    static CGRect infinite()
    {
        const double big = std::numeric_limits<double>::max();
        return CGRect(-big / 2, -big / 2, big, big);
    }

    double x() const { return origin.x; }
    double y() const { return origin.y; }

    bool isNull() const { return origin.x == std::numeric_limits<double>::infinity()
                              || origin.y == std::numeric_limits<double>::infinity(); }
    bool isInfinite() const { return *this == infinite(); }
    // Null, or without area (a zero width or height).
    bool isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }
    // Every component is a finite number.
    bool isFinite() const
    {
        return std::isfinite(origin.x) && std::isfinite(origin.y)
            && std::isfinite(size.width) && std::isfinite(size.height);
    }

    double width() const { return std::fabs(size.width); }
    double height() const { return std::fabs(size.height); }
    double minX() const { return size.width < 0 ? origin.x + size.width : origin.x; }
    double minY() const { return size.height < 0 ? origin.y + size.height : origin.y; }
    double maxX() const { return minX() + width(); }
    double maxY() const { return minY() + height(); }
    double midX() const { return minX() + width() / 2; }
    double midY() const { return minY() + height() / 2; }
    CGPoint center() const { return {midX(), midY()}; }

    // The same rectangle with a non-negative width and height.
    CGRect standardized() const
    {
        if (isNull())
            return *this;
        return CGRect(minX(), minY(), width(), height());
    }

    // The smallest rectangle that contains both; a null rectangle contributes nothing.
    CGRect united(const CGRect& other) const
    {
        if (isNull())
            return other.standardized();
        if (other.isNull())
            return standardized();
        const double x0 = std::fmin(minX(), other.minX());
        const double y0 = std::fmin(minY(), other.minY());
        const double x1 = std::fmax(maxX(), other.maxX());
        const double y1 = std::fmax(maxY(), other.maxY());
        return CGRect(x0, y0, x1 - x0, y1 - y0);
    }

    // The shared area; the null rectangle when the two are disjoint or either is null.
    // Rectangles that only touch intersect in a rectangle of zero width or height.
    CGRect intersected(const CGRect& other) const
    {
        if (isNull() || other.isNull())
            return null();
        const double x0 = std::fmax(minX(), other.minX());
        const double y0 = std::fmax(minY(), other.minY());
        const double x1 = std::fmin(maxX(), other.maxX());
        const double y1 = std::fmin(maxY(), other.maxY());
        if (x1 < x0 || y1 < y0)
            return null();
        return CGRect(x0, y0, x1 - x0, y1 - y0);
    }

    // True when the two share a non-empty area.
    bool intersects(const CGRect& other) const { return !intersected(other).isEmpty(); }

    // Half-open containment, as the native type has it: the max edges are outside.
    bool contains(const CGPoint& p) const
    {
        if (isNull())
            return false;
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }

    friend bool operator==(const CGRect&, const CGRect&) = default;
};

} // namespace zen
