#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// File chores shared by the storage and log tests; each reports its own failure.
namespace zen::test {

// The file's bytes, or "<missing>" when it cannot be opened.
QByteArray readFile(const QString& path);

// Creates or replaces the file with exactly these bytes.
void writeFile(const QString& path, const QByteArray& bytes);

// Sets the modification time of the entry itself (a link is not followed).
void setModified(const QString& path, const QDateTime& when);

// A file of the given size that takes no disk space.
void makeSparseFile(const QString& path, qint64 size);

} // namespace zen::test
