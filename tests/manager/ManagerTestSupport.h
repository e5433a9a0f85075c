#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace qm::manager {
class FormQuillmarcBAccount;
}

// A fresh program folder per test, message boxes answered without showing.
class ManagerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    QString dataPath(const QString& name) const;
    void writeMode(const QString& word);
    void writeData(const QString& name, const QStringList& lines);
    QStringList dataLines(const QString& name) const;
    QByteArray bytes(const QString& name) const;
    // Writes the account file (plain) from whole lines.
    void writeAccounts(const QStringList& lines)
    {
        writeData(QStringLiteral("account.crp"), lines);
    }
    QStringList accountLines() const { return dataLines(QStringLiteral("account.crp")); }
    // Fields of the account file's line for a number (quotes removed), empty when absent.
    QStringList accountFields(const QString& no) const;
    // Texts of the message boxes shown so far.
    static QStringList shownTexts();

    // The record a service-made line for a number would have, with a working server.
    static QString workingLine(const QString& no, const QString& name, const QString& state);
    // Fills what the checks require so that OK saves.
    static void fillRequired(qm::manager::FormQuillmarcBAccount& editor);

    QTemporaryDir m_dir;
};
