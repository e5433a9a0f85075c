#pragma once

#include <QString>

namespace qm::ui::addresses {

// The help menu's pages and the support mailbox. The names sit under the reserved
// ".example" domain until the product has its own site; change them here only.
inline QString onlineHelp()
{
    return QStringLiteral("https://quillmarc.example/help/");
}
inline QString productHome()
{
    return QStringLiteral("https://quillmarc.example/");
}
inline QString makerHome()
{
    return QStringLiteral("https://ostrel.example/");
}
inline QString supportMail()
{
    return QStringLiteral("support@quillmarc.example");
}

// "mailto:" in front unless the address already starts with it (in any case).
QString mailtoUrl(const QString& address);

} // namespace qm::ui::addresses
