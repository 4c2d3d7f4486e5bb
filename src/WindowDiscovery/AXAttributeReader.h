#pragma once

#include "Platform/AccessibilityService.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zen {

// Typed reads of accessibility attributes through one injectable provider, and the writes
// and actions the restore needs. Reads never fail: a missing value or one of another type
// is absent.
struct AXAttributeReader {
    using ValueProvider = std::function<std::optional<AXAttributeValue>(const AXUIElement&, const QString&)>;

    ValueProvider attributeValueProvider;
    // Writes and actions go straight to the service, not through the provider.
    std::shared_ptr<AccessibilityService> service;

    // Bound to the live platform (connected on first use).
    AXAttributeReader();
    explicit AXAttributeReader(std::shared_ptr<AccessibilityService> service);
    AXAttributeReader(ValueProvider provider, std::shared_ptr<AccessibilityService> service = nullptr)
        : attributeValueProvider(std::move(provider)), service(std::move(service)) {}

    std::optional<std::vector<AXUIElement>> elementArray(const AXUIElement& element, const QString& attribute) const;
    std::optional<QString> string(const AXUIElement& element, const QString& attribute) const;
    std::optional<bool> boolean(const AXUIElement& element, const QString& attribute) const;
    std::optional<CGPoint> point(const AXUIElement& element, const QString& attribute) const;
    std::optional<CGSize> size(const AXUIElement& element, const QString& attribute) const;

    bool setBool(bool value, const AXUIElement& element, const QString& attribute) const;
    // False when the value is not finite: there is nothing sensible to write.
    bool setPoint(CGPoint value, const AXUIElement& element, const QString& attribute) const;
    bool setSize(CGSize value, const AXUIElement& element, const QString& attribute) const;
    bool performAction(const QString& action, const AXUIElement& element) const;

private:
    // The default reader reaches the live platform only when first used.
    bool m_usesLivePlatform = false;
    AccessibilityService* writer() const;
    std::optional<AXAttributeValue> value(const AXUIElement& element, const QString& attribute) const;
    // The value when it holds a T; absent otherwise.
    template <typename T>
    std::optional<T> valueOf(const AXUIElement& element, const QString& attribute) const;
    bool write(const AXUIElement& element, const QString& attribute, const AXAttributeValue& value) const;
};

} // namespace zen
