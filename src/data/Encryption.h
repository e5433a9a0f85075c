#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace qm {

// Encryption of the account file and the log. The stored text is base64 of an envelope
// (triple DES CBC, key from PBKDF2 of a fixed secret and a random salt, HMAC-SHA256 over
// everything: encrypt-then-MAC). Decryption gives back exactly the bytes that went in;
// plain, truncated or tampered input fails cleanly.

// Encryption is on exactly when the marker file exists (filePaths().encryptionMarker).
bool encryptionOn();

// In-memory forms. nullopt + error on failure.
std::optional<QByteArray> encryptBytes(const QByteArray& plain, QString* error = nullptr);
std::optional<QByteArray> decryptBytes(const QByteArray& stored, QString* error = nullptr);

// True when the bytes look like an envelope of ours (says nothing about their integrity).
bool looksEncrypted(const QByteArray& stored);

// File forms: read src whole, write dst whole (atomic). src is left untouched.
// False + error on any failing step; nothing is shown to the user here.
bool EncryptFile(const QString& src, const QString& dst, QString* error = nullptr);
bool DecryptFile(const QString& src, const QString& dst, QString* error = nullptr);

// Switching encryption on: creates the marker, then encrypts the account file and the log
// in place (each that exists; a failing one stays plain). False + error only when the
// marker cannot be created or a file step itself fails.
bool SetUpEncryption(QString* error = nullptr);

// Reads a stored file the way every reader does: an envelope is decrypted, anything else
// is taken as plain, whether encryption is on or not. nullopt + error when the file cannot
// be read.
struct StoredRead
{
    QByteArray plain;      // for a damaged envelope: the stored bytes, of no use as text
    QString decryptError;  // set with tampered; names the file, holds none of its content
    bool tampered = false; // an envelope whose check failed (not plain either)
};
std::optional<StoredRead> readStoredFile(const QString& path, QString* error = nullptr);

// Writes plain content as a stored file: encrypted when encryption is on (plain if that
// fails), atomically. False + error when the file cannot be written.
bool writeStoredFile(const QString& path, const QByteArray& plain, QString* error = nullptr);

// The same with the envelope made beforehand (by encryptBytes of `plain`, e.g. on another
// thread while other files were written); nullopt envelope stores the file plain.
bool writeStoredFile(const QString& path, const QByteArray& plain,
                     const std::optional<QByteArray>& envelope, QString* error = nullptr);

// Tells the reader that `stored`, now at path, holds `plain`, for a file put in place by a
// rename rather than by writeStoredFile: its next read then skips the decryption.
void rememberStoredPlain(const QString& path, const QByteArray& stored, const QByteArray& plain);

} // namespace qm
