#pragma once

#include <QString>

namespace qm::ui::addresses {

// The help menu's pages and the support mailbox. The help ships with the program (pages
// named "help:PAGE", opened from the installed help folder); the product has no site of its
// own yet, so its home page is the shipped README too. Change them here only.
inline QString onlineHelp()
{
    return QStringLiteral("help:index.html");
}
inline QString productHome()
{
    return QStringLiteral("help:README.html");
}
inline QString makerHome()
{
    return QStringLiteral("help:README.html");
}
inline QString supportMail()
{
    return QStringLiteral("support@quillmarc.example");
}

// "mailto:" in front unless the address already starts with it (in any case).
QString mailtoUrl(const QString& address);

} // namespace qm::ui::addresses
