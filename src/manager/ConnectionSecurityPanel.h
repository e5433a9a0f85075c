#pragma once

#include "data/MailSecurity.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace qm::manager {

// The account editor's tab for connection security and trust (POP3 and SMTP). It edits the
// editor's copy of the account's Data/MailConn.txt values in place, keeping keys it does not
// know, so the editor's save stores what it shows.
class ConnectionSecurityPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionSecurityPanel(MailConnectionValues* values, QWidget* parent = nullptr);

    // Shows the values (after the editor has read them).
    void load();

private:
    struct Side
    {
        QComboBox* security = nullptr;
        QLineEdit* caFile = nullptr;
        QLineEdit* pin = nullptr;
        QLabel* refused = nullptr;
        QPushButton* trust = nullptr;
    };
    QWidget* buildSide(Side* side, const QString& title, bool smtp);
    void store();
    void trustRefused(bool smtp);
    void showRefused(const Side& side, const SeenCertificate& seen);

    MailConnectionValues* m_values;
    Side m_pop;
    Side m_smtp;
    QSpinBox* m_perConnection = nullptr;
    QSpinBox* m_sizeLimit = nullptr;
    bool m_loading = false;
};

} // namespace qm::manager
