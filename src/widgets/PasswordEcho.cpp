#include "widgets/PasswordEcho.h"

#include <QLineEdit>

namespace qm::widgets {

void echoAsStars(QLineEdit* box)
{
    box->setEchoMode(QLineEdit::Password);
    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
}

} // namespace qm::widgets
