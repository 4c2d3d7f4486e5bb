#include "WindowDiscovery/CGWindowMetadataReader.h"

#include "Platform/PlatformServices.h"

#include <QMetaType>

namespace zen {

namespace {

bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool isText(const QVariant& v) { return v.typeId() == QMetaType::QString; }

std::optional<CGRect> rectFromDictionary(const QVariant& v)
{
    if (v.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap m = v.toMap();
    const QVariant x = m.value(QStringLiteral("X")), y = m.value(QStringLiteral("Y"));
    const QVariant w = m.value(QStringLiteral("Width")), h = m.value(QStringLiteral("Height"));
    if (!isNumber(x) || !isNumber(y) || !isNumber(w) || !isNumber(h))
        return std::nullopt;
    return CGRect(x.toDouble(), y.toDouble(), w.toDouble(), h.toDouble());
}

bool isFiniteRect(const CGRect& r)
{
    return r.isFinite() && !r.isNull() && !r.isInfinite();
}

} // namespace

CGWindowMetadataReader::CGWindowMetadataReader()
    : windowListProvider([](WindowListOption option) -> std::optional<std::vector<QVariantMap>> {
          auto server = defaultPlatformServices().windowServer;
          return server ? server->copyWindowList(option) : std::nullopt;
      })
{
}

CGWindowMetadataReader::CGWindowMetadataReader(std::shared_ptr<WindowServer> server)
    : windowListProvider([server](WindowListOption option) -> std::optional<std::vector<QVariantMap>> {
          return server ? server->copyWindowList(option) : std::nullopt;
      })
{
}

std::map<std::int32_t, std::vector<CGWindowMetadata>>
CGWindowMetadataReader::readWindowMetadata(const std::set<std::int32_t>& processIdentifiers) const
{
    std::map<std::int32_t, std::vector<CGWindowMetadata>> result;
    if (processIdentifiers.empty() || !windowListProvider)
        return result;
    const auto all = windowListProvider(WindowListOption::optionAll);
    if (!all)
        return result;
    const auto order = onscreenZOrderByWindowID();
    for (const QVariantMap& entry : *all) {
        auto record = metadata(entry, order);
        if (!record || !processIdentifiers.contains(record->processIdentifier))
            continue;
        result[record->processIdentifier].push_back(*record);
    }
    return result;
}

std::unordered_map<std::uint32_t, std::int64_t> CGWindowMetadataReader::onscreenZOrderByWindowID() const
{
    std::unordered_map<std::uint32_t, std::int64_t> order;
    const auto list = windowListProvider(WindowListOption::optionOnScreenOnly);
    if (!list)
        return order;
    std::int64_t i = 0;
    for (const QVariantMap& entry : *list) {
        const QVariant number = entry.value(WindowListKey::number);
        if (isNumber(number))
            order[std::uint32_t(number.toLongLong())] = i;
        ++i;
    }
    return order;
}

std::optional<CGWindowMetadata> CGWindowMetadataReader::metadata(
    const QVariantMap& entry, const std::unordered_map<std::uint32_t, std::int64_t>& onscreenZOrder)
{
    const QVariant number = entry.value(WindowListKey::number);
    const QVariant pid = entry.value(WindowListKey::ownerPID);
    if (!isNumber(number) || !isNumber(pid))
        return std::nullopt;
    const auto bounds = rectFromDictionary(entry.value(WindowListKey::bounds));
    if (!bounds || !isFiniteRect(*bounds))
        return std::nullopt;

    CGWindowMetadata m;
    m.windowID = std::uint32_t(number.toLongLong());
    m.processIdentifier = std::int32_t(pid.toLongLong());
    const QVariant layer = entry.value(WindowListKey::layer);
    m.layer = isNumber(layer) ? layer.toLongLong() : 0;
    m.bounds = *bounds;
    const QVariant onscreen = entry.value(WindowListKey::isOnscreen);
    m.isOnScreen = isNumber(onscreen) && onscreen.toDouble() != 0;
    const QVariant owner = entry.value(WindowListKey::ownerName);
    if (isText(owner))
        m.ownerName = owner.toString();
    const QVariant name = entry.value(WindowListKey::name);
    if (isText(name))
        m.title = name.toString();
    if (m.isOnScreen) {
        if (auto it = onscreenZOrder.find(m.windowID); it != onscreenZOrder.end())
            m.zOrderHint = it->second;
    }
    return m;
}

} // namespace zen
