#pragma once

#include <QString>
#include <exception>

namespace qm::service {

// A failure inside an engine routine. Each routine that the user should hear about catches
// it at its own boundary, shows the description in an OK message box and leaves, so one
// bad account or message never ends the whole cycle.
class RuntimeError : public std::exception
{
public:
    explicit RuntimeError(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {
    }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

} // namespace qm::service
