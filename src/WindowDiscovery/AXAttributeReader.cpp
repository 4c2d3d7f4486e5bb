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

std::optional<std::vector<AXUIElement>> AXAttributeReader::elementArray(const AXUIElement& element, const QString& attribute) const
{
    auto v = value(element, attribute);
    if (auto* list = v ? std::get_if<std::vector<AXUIElement>>(&*v) : nullptr)
        return *list;
    return std::nullopt;
}

std::optional<QString> AXAttributeReader::string(const AXUIElement& element, const QString& attribute) const
{
    auto v = value(element, attribute);
    if (auto* s = v ? std::get_if<QString>(&*v) : nullptr)
        return *s;
    return std::nullopt;
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
    auto v = value(element, attribute);
    if (auto* p = v ? std::get_if<CGPoint>(&*v) : nullptr)
        return *p;
    return std::nullopt;
}

std::optional<CGSize> AXAttributeReader::size(const AXUIElement& element, const QString& attribute) const
{
    auto v = value(element, attribute);
    if (auto* s = v ? std::get_if<CGSize>(&*v) : nullptr)
        return *s;
    return std::nullopt;
}

bool AXAttributeReader::setBool(bool v, const AXUIElement& element, const QString& attribute) const
{
    auto* w = writer();
    return w && w->setAttributeValue(element, attribute, AXAttributeValue(v));
}

bool AXAttributeReader::setPoint(CGPoint v, const AXUIElement& element, const QString& attribute) const
{
    if (!std::isfinite(v.x) || !std::isfinite(v.y))
        return false;
    auto* w = writer();
    return w && w->setAttributeValue(element, attribute, AXAttributeValue(v));
}

bool AXAttributeReader::setSize(CGSize v, const AXUIElement& element, const QString& attribute) const
{
    if (!std::isfinite(v.width) || !std::isfinite(v.height))
        return false;
    auto* w = writer();
    return w && w->setAttributeValue(element, attribute, AXAttributeValue(v));
}

bool AXAttributeReader::performAction(const QString& action, const AXUIElement& element) const
{
    auto* w = writer();
    return w && w->performAction(element, action);
}

} // namespace zen
