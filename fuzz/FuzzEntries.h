#pragma once

// Entry points shared by the libFuzzer targets and the corpus replay test: each takes one
// input as raw bytes and feeds it to a reader the way the programs meet such data.

#include <QString>
#include <cstddef>
#include <cstdint>

namespace qm::fuzz {

// A private program folder (Data/ and work folders below it) for the readers that go
// through files; made once per process and removed at exit.
QString scratchProgramDir();

// A stored message, read with every field into an attachment folder that is emptied after.
void readMail(const uint8_t* data, size_t size);
// Data/account.crp as stored (plain or encrypted), read like the service and the manager do.
void readAccountFile(const uint8_t* data, size_t size);
// One settings line through the split rule, the account record and the common settings.
void readSettingsLine(const uint8_t* data, size_t size);
// Data/quillmarc.log as stored, read back by a log write and by the log view.
void readLog(const uint8_t* data, size_t size);
// First byte chooses the command word, the rest is the body of a remote-control mail.
void parseRemoteCommand(const uint8_t* data, size_t size);
// Stored bytes given to the decryption.
void decrypt(const uint8_t* data, size_t size);

using Entry = void (*)(const uint8_t*, size_t);
// Target name (as the corpus folders are named) to entry; nullptr for an unknown name.
Entry entryFor(const QString& target);
// Every target name.
const char* const* targetNames();

} // namespace qm::fuzz
