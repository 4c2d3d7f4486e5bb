#include "WindowDiscovery/AXAttributeReader.h"

#include "Platform/PlatformServices.h"

#include <cmath>

namespace zen {

AXAttributeReader::AXAttributeReader()
    : attributeValueProvider([](const AXUIElement& e, const QString& a) -> std::optional<AXAttributeValue> {
          auto svc = defaultPlatformServices().accessibility;
          return svc ? svc->copyAttributeValue(e, a) : std::nullopt;
      })
    , m_usesLivePlatform(true)
{
}

AccessibilityService* AXAttributeReader::writer() const
{
    if (service)
        return service.get();
    return m_usesLivePlatform ? defaultPlatformServices().accessibility.get() : nullptr;
}

AXAttributeReader::AXAttributeReader(std::shared_ptr<AccessibilityService> s)
    : service(std::move(s))
{
    attributeValueProvider = [svc = service](const AXUIElement& e, const QString& a) -> std::optional<AXAttributeValue> {
        return svc ? svc->copyAttributeValue(e, a) : std::nullopt;
    };
}

std::optional<AXAttributeValue> AXAttributeReader::value(const AXUIElement& element, const QString& attribute) const
{
    return attributeValueProvider ? attributeValueProvider(element, attribute) : std::nullopt;
}

template <typename T>
std::optional<T> AXAttributeReader::valueOf(const AXUIElement& element, const QString& attribute) const
{
    auto v = value(element, attribute);
    if (auto* typed = v ? std::get_if<T>(&*v) : nullptr)
        return *typed;
    return std::nullopt;
}

std::optional<std::vector<AXUIElement>> AXAttributeReader::elementArray(const AXUIElement& element, const QString& attribute) const
{
    return valueOf<std::vector<AXUIElement>>(element, attribute);
}

std::optional<QString> AXAttributeReader::string(const AXUIElement& element, const QString& attribute) const
{
    return valueOf<QString>(element, attribute);
}

std::optional<bool> AXAttributeReader::boolean(const AXUIElement& element, const QString& attribute) const
{
    auto v = value(element, attribute);
    if (!v)
        return std::nullopt;
    if (auto* b = std::get_if<bool>(&*v))
        return *b;
    if (auto* d = std::get_if<double>(&*v))
        return *d != 0;
    return std::nullopt;
}

std::optional<CGPoint> AXAttributeReader::point(const AXUIElement& element, const QString& attribute) const
{
    return valueOf<CGPoint>(element, attribute);
}

std::optional<CGSize> AXAttributeReader::size(const AXUIElement& element, const QString& attribute) const
{
    return valueOf<CGSize>(element, attribute);
}

bool AXAttributeReader::write(const AXUIElement& element, const QString& attribute, const AXAttributeValue& value) const
{
    auto* w = writer();
    return w && w->setAttributeValue(element, attribute, value);
}

bool AXAttributeReader::setBool(bool v, const AXUIElement& element, const QString& attribute) const
{
    return write(element, attribute, AXAttributeValue(v));
}

bool AXAttributeReader::setPoint(CGPoint v, const AXUIElement& element, const QString& attribute) const
{
    if (!std::isfinite(v.x) || !std::isfinite(v.y))
        return false;
    return write(element, attribute, AXAttributeValue(v));
}

bool AXAttributeReader::setSize(CGSize v, const AXUIElement& element, const QString& attribute) const
{
    if (!std::isfinite(v.width) || !std::isfinite(v.height))
        return false;
    return write(element, attribute, AXAttributeValue(v));
}

bool AXAttributeReader::performAction(const QString& action, const AXUIElement& element) const
{
    auto* w = writer();
    return w && w->performAction(element, action);
}

} // namespace zen
