#pragma once

// How collected messages are kept in an account's work folder: one file per message,
// named from its UIDL so that a message that stays on the server keeps its name, and a
// list of the UIDLs in server order as the last collection saw them (for deletion checks).

#include <QString>
#include <QStringList>

namespace qm::mail {

// A file name that is safe on any file system and differs for different UIDLs.
QString messageFileName(const QString& uidl);
// True for names messageFileName produces (the files collection may prune).
bool isMessageFileName(const QString& name);

// The UIDL list kept in the work folder. Reading a missing list gives an empty list and
// *ok = false.
QString uidlListPath(const QString& folder);
QStringList readUidlList(const QString& folder, bool* ok = nullptr);
// Leaves the stored list alone when it already holds exactly these UIDLs.
bool writeUidlList(const QString& folder, const QStringList& uidls, QString* error = nullptr);

struct UidlEntry
{
    int position = 0;
    QString uidl;
};
// Parses a UIDL listing ("1 abc\r\n2 def\r\n"). False on a line that is not "n uidl".
bool parseUidlListing(const QByteArray& listing, QList<UidlEntry>* out);

} // namespace qm::mail
