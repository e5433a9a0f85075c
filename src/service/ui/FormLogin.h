#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qm::ui {

// Compares an entry with the password stored in the settings file (field 4), exactly.
// A missing settings file means an empty stored password.
bool VerifyPassword(const QString& settingsFile, const QString& entered);

// The password dialog.
class FormLogin : public QDialog
{
    Q_OBJECT
public:
    FormLogin(const QString& settingsFile, bool* passwordAccepted, QWidget* parent = nullptr);

    QLabel* lblLabels = nullptr;
    QLineEdit* txtPassword = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void reject() override;

private:
    void onOk();

    QString m_settingsFile;
    bool* m_passwordAccepted;
};

// Owns the service-wide password state and the one password dialog. The dialog is made
// on its first showing; Cancel only hides it (keeping what was typed), a right password
// discards it.
class PasswordGate
{
public:
    PasswordGate(QString settingsFile, QWidget* parent);
    ~PasswordGate();

    // Shows the dialog modally and tells whether a right password was entered in this showing.
    bool ask();

    bool passwordAccepted() const { return m_passwordAccepted; }
    FormLogin* dialog() const { return m_dialog; }

private:
    QString m_settingsFile;
    QWidget* m_parent;
    QPointer<FormLogin> m_dialog;
    bool m_passwordAccepted = false;
};

} // namespace qm::ui
