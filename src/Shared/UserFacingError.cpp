#include "Shared/UserFacingError.h"

#include <cstring>

namespace zen {

QString userFacingDescription(const QString& localizedDescription, const QString& ownDescription)
{
    if (!localizedDescription.isEmpty()
        && localizedDescription != QStringView(genericFailureTextTypographic)
        && localizedDescription != QStringView(genericFailureTextStraight))
        return localizedDescription;
    return ownDescription;
}

PlatformError PlatformError::fromErrno(int errnoValue, const QString& context)
{
    const QString reason = QString::fromLocal8Bit(std::strerror(errnoValue));
    PlatformError error;
    error.code = errnoValue;
    error.message = context.isEmpty() ? reason : QStringLiteral("%1: %2").arg(context, reason);
    return error;
}

QString PlatformError::ownDescription() const
{
    return QStringLiteral("PlatformError(code: %1, message: \"%2\")").arg(code).arg(message);
}

} // namespace zen
