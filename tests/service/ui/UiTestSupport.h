#pragma once

#include "widgets/MessageBox.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

namespace qm::ui::test {

using qm::widgets::MessageBox;

// Each test gets its own program folder (with Data/) and a clean message-box record.
class ProgramDirTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    QString dataFile(const QString& name) const;
    void writeSettings(const QString& line); // raw TimerSet.txt line
    void writeAccountFile();
    // An account manager stand-in: a shell script placed as <program dir>/quillmarcB.
    void installAccountManager(const QString& scriptBody);
    QStringList shownTexts() const;

    QTemporaryDir m_dir;
    QString m_programDir;
};

// Runs `act` on the next modal dialog that opens (it is given the dialog). Fails the test
// when none opens within a few seconds.
void onNextModal(std::function<void(QWidget*)> act);

// Sets the password dialog's entry and presses OK / Cancel once it is modal.
void answerPassword(const QString& text);
void cancelPassword();

// Lets queued events and zero-length timers run.
void settle(int ms = 20);

} // namespace qm::ui::test
