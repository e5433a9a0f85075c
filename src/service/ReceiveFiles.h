#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace qm {
struct AccountFiles;
} // namespace qm

namespace qm::service {

struct EngineContext;

// Creates the account data folder; files an older installation kept directly in the work
// folder are moved into it. Throws RuntimeError when the folder cannot be made.
void PrepareAccountDataFolder(const AccountFiles& files);

// The mailbox was empty: every file of the work, attachment and data folders goes, so the
// received list, the receive numbers and the attachment keys start afresh.
void ClearAccountFiles(const AccountFiles& files);

// The next receive number ("00001".."32767"), or "0" when there is none to give: the
// counter is at its end (it then stays there until the mailbox empties) or cannot be kept.
QString NextReceiveNumber(EngineContext& ctx, const AccountFiles& files);

// Receive number followed by the 1-based position: ("00007", 1) gives "000071".
QString AttachmentKey(const QString& receiveNumber, int position);

// Appends one line to the attachment index. Nothing is recorded for an empty path or for a
// message without a receive number ("0"). A path the line format cannot carry as it is (a
// comma, a quote, a character Shift-JIS lacks) is kept percent-encoded, and such a name in
// a form the file can hold, so every number a forward offers can be asked for.
void AddAttachmentRecord(EngineContext& ctx, const AccountFiles& files,
                         const QString& receiveNumber, int position, const QString& path,
                         const QString& fileName);

struct StoredAttachment
{
    QString path;
    QString name;
};

// The first attachment of the index with the given key.
std::optional<StoredAttachment> FindStoredAttachment(const AccountFiles& files, const QString& key);

// The received list of one account, read once per account and kept in step with the file.
class ReceivedList
{
public:
    explicit ReceivedList(QString path);

    // True when the message file exists and its name is on the list. Whether it exists is
    // read from one listing of its folder, taken at the first question about that folder:
    // a mailbox of thousands would otherwise cost a file-system call per message.
    bool IsAlreadyReceived(const QString& messageFile);
    // Appends the message file's name when the file exists; false when it does not (or
    // the list cannot be written).
    bool MarkReceived(const QString& messageFile);

private:
    QString m_path;
    QSet<QString> m_names;
    QString m_listedFolder;
    QSet<QString> m_listedFiles;
};

// How far a message got that has to be tried again: its receive number and the steps that
// are done, so a retry sends only what is missing and faxes and prints once.
struct MessageProgress
{
    QString receiveNumber;
    QSet<int> partsSent; // 1-based mail parts (a single mail is part 1)
    bool faxed = false;
    bool printed = false;
    bool operator==(const MessageProgress&) const = default;
};

class ProgressLog
{
public:
    explicit ProgressLog(QString path);
    std::optional<MessageProgress> find(const QString& messageFile) const;
    // Appends the message's progress and syncs it; false when it could not be kept.
    bool record(const QString& messageFile, const MessageProgress& progress);

private:
    QString m_path;
    QHash<QString, MessageProgress> m_entries;
};

// Messages whose deletion from the server was asked for but not yet seen done. A name stays
// until a collection no longer lists it, so a deletion lost with its connection is retried
// and the message is never handled again meanwhile.
class PendingDeletions
{
public:
    explicit PendingDeletions(QString path);
    bool contains(const QString& messageFile) const;
    // Records the message before its deletion is tried.
    bool add(const QString& messageFile);
    // The names of stored messages still on the server; the others are done.
    QStringList stillListed(const QStringList& messageFiles);

private:
    QString m_path;
    QStringList m_names;
};

} // namespace qm::service
