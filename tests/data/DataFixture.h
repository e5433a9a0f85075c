#pragma once

#include "data/AtomicFile.h"
#include "data/Clock.h"
#include "data/Paths.h"
#include "data/TextCodec.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Every test gets its own program folder with an empty Data/ below it.
class DataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        qm::setProgramDir(m_dir.path());
        ASSERT_TRUE(QDir().mkpath(m_dir.path() + QStringLiteral("/Data")));
    }
    void TearDown() override
    {
        qm::setAtomicWriteHook({});
        qm::Clock::setNow({});
        qm::setProgramDir({});
    }

    const qm::FilePaths& paths() const { return qm::filePaths(); }

    static QByteArray bytesOf(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void putBytes(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    static QByteArray sjis(const QString& text) { return *qm::encodeCp932(text); }
    // Files left in Data/ (sorted), to catch stray temp or work copies.
    QStringList dataFiles() const
    {
        return QDir(paths().dataDir).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir m_dir;
};
