#pragma once

#include "data/CommonSettingsEntry.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm::ui {

// The common settings dialog. Shown modally at first run (no settings file) and from
// the settings menu.
class FormCommon : public QDialog
{
    Q_OBJECT
public:
    explicit FormCommon(QWidget* parent = nullptr);

    bool firstRun() const { return m_firstRun; }
    bool encryptionOn() const { return m_encryptionOn; }

    // Controls, named as the rest of the service refers to them.
    QLineEdit* txtMinute = nullptr;
    QLineEdit* txtHour = nullptr;
    QCheckBox* CheckRemote = nullptr;
    QCheckBox* CheckPassword = nullptr;
    QLabel* LabelPassword = nullptr;
    QLineEdit* txtPassword = nullptr;
    QCheckBox* CheckStart = nullptr;
    QCheckBox* CheckEnd = nullptr;
    QCheckBox* CheckAccount = nullptr;
    QCheckBox* Checklog = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdEncrypt = nullptr;
    QLabel* LabelMsg = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void loadSettings();
    void applyPasswordState();
    void showEncryptionState();
    void onChecklogClicked(bool checked);
    void onOk();
    void onEncrypt();
    bool validate();
    bool save();
    CommonSettingsEntry entryFromWindow() const;

    bool m_firstRun = false;
    bool m_encryptionOn = false;
};

} // namespace qm::ui
