#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace zen::test {

// An environment variable set, or unset with an empty value, for as long as this lives.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QString& value)
        : m_name(name), m_was(qgetenv(name)), m_wasSet(qEnvironmentVariableIsSet(name))
    {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~ScopedVariable()
    {
        if (m_wasSet)
            qputenv(m_name, m_was);
        else
            qunsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    QByteArray m_was;
    bool m_wasSet;
};

} // namespace zen::test
