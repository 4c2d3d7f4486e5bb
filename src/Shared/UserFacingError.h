#pragma once

#include <QString>

#include <concepts>

namespace zen {

// The convention every error type of the program follows: it offers
//   QString localizedDescription() const  - the message meant for the user (may be empty);
//   QString ownDescription() const        - its printed form for diagnostics, e.g.
//                                           "SnapshotStoreError.notFound(<id>)".
// Callers show any error through userFacingDescription(), which falls back to the printed
// form when the message is empty or only the platform's generic sentence.
template <typename E>
concept DescribedError = requires(const E& e) {
    { e.localizedDescription() } -> std::convertible_to<QString>;
    { e.ownDescription() } -> std::convertible_to<QString>;
};

// The generic sentence that says nothing about what went wrong.
inline constexpr char16_t genericFailureTextTypographic[] = u"The operation couldn\u2019t be completed.";
inline constexpr char16_t genericFailureTextStraight[] = u"The operation couldn't be completed.";

QString userFacingDescription(const QString& localizedDescription, const QString& ownDescription);

template <DescribedError E>
QString userFacingDescription(const E& error)
{
    return userFacingDescription(error.localizedDescription(), error.ownDescription());
}

// An error reported by the operating system or a library (a file that can't be opened, a
// folder that can't be made): its message and, when there is one, the errno value.
struct PlatformError {
    QString message;
    int code = 0;

    static PlatformError fromErrno(int errnoValue, const QString& context = {});

    QString localizedDescription() const { return message; }
    QString ownDescription() const;

    friend bool operator==(const PlatformError&, const PlatformError&) = default;
};

} // namespace zen
