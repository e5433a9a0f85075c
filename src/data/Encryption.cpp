#include "data/Encryption.h"

#include "data/AtomicFile.h"
#include "data/Clock.h"
#include "data/DataLock.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace qm {

namespace {

// Envelope: magic | salt | iv | 3DES-CBC ciphertext | HMAC-SHA256(magic..ciphertext), base64.
const QByteArray kMagic = QByteArrayLiteral("QMC1");
constexpr int kSaltLen = 16;
constexpr int kIvLen = 8;
constexpr int kBlockLen = 8;
constexpr int kTagLen = 32;
constexpr int kCipherKeyLen = 24;
constexpr int kMacKeyLen = 32;
constexpr int kIterations = 100000;
// The shared secret both programs use; the files are meant to be unreadable to a casual
// reader, the integrity tag makes a damaged file fail instead of giving garbage.
constexpr char kSecret[] = "Rw3kTq";

struct Keys
{
    QByteArray cipher;
    QByteArray mac;
};

QMutex g_keyMutex;
QHash<QByteArray, Keys> g_keys; // per salt: a key derivation is paid once per process
QByteArray g_processSalt;       // one salt for everything this process encrypts

// The last envelope this process wrote or read for each stored file, with its plain text:
// the log is rewritten on every line, and decrypting an unchanged file again is wasted work.
struct KnownEnvelope
{
    QByteArray stored;
    QByteArray plain;
};
QMutex g_knownMutex;
QHash<QString, KnownEnvelope> g_known;

void remember(const QString& path, const QByteArray& stored, const QByteArray& plain)
{
    QMutexLocker lock(&g_knownMutex);
    g_known.insert(path, KnownEnvelope{stored, plain});
}

std::optional<QByteArray> knownPlain(const QString& path, const QByteArray& stored)
{
    QMutexLocker lock(&g_knownMutex);
    const auto it = g_known.constFind(path);
    if (it != g_known.constEnd() && it->stored == stored)
        return it->plain;
    return std::nullopt;
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

std::optional<Keys> keysFor(const QByteArray& salt)
{
    QMutexLocker lock(&g_keyMutex);
    if (auto it = g_keys.constFind(salt); it != g_keys.constEnd())
        return *it;
    QByteArray out(kCipherKeyLen + kMacKeyLen, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(kSecret, int(sizeof(kSecret) - 1),
                          reinterpret_cast<const unsigned char*>(salt.constData()),
                          int(salt.size()), kIterations, EVP_sha256(), int(out.size()),
                          reinterpret_cast<unsigned char*>(out.data())) != 1)
        return std::nullopt;
    if (g_keys.size() > 32) // salts from other processes' files; keep the cache small
        g_keys.clear();
    Keys k{out.left(kCipherKeyLen), out.mid(kCipherKeyLen)};
    g_keys.insert(salt, k);
    return k;
}

std::optional<QByteArray> processSalt()
{
    QMutexLocker lock(&g_keyMutex);
    if (g_processSalt.isEmpty()) {
        QByteArray salt(kSaltLen, Qt::Uninitialized);
        if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltLen) != 1)
            return std::nullopt;
        g_processSalt = salt;
    }
    return g_processSalt;
}

std::optional<QByteArray> hmac(const QByteArray& key, const QByteArray& data)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!HMAC(EVP_sha256(), key.constData(), int(key.size()),
              reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()), md,
              &len) ||
        len != kTagLen)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(md), int(len));
}

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

std::optional<QByteArray> runCipher(bool encrypt, const QByteArray& key, const QByteArray& iv,
                                    const char* in, qsizetype inLen)
{
    CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!ctx)
        return std::nullopt;
    if (EVP_CipherInit_ex(ctx.get(), EVP_des_ede3_cbc(), nullptr,
                          reinterpret_cast<const unsigned char*>(key.constData()),
                          reinterpret_cast<const unsigned char*>(iv.constData()),
                          encrypt ? 1 : 0) != 1)
        return std::nullopt;
    QByteArray out(inLen + kBlockLen, Qt::Uninitialized);
    int n1 = 0;
    int n2 = 0;
    if (EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n1,
                         reinterpret_cast<const unsigned char*>(in), int(inLen)) != 1)
        return std::nullopt;
    if (EVP_CipherFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + n1, &n2) != 1)
        return std::nullopt;
    out.resize(n1 + n2);
    return out;
}

// Inside the envelope the text is deflated when that makes it smaller: log and account lines
// repeat a lot, and triple DES is slow per byte, so this keeps rewriting a long log cheap.
// First byte: 0 = stored as is, 1 = zlib (qCompress layout).
constexpr char kStored = 0;
constexpr char kDeflated = 1;

QByteArray pack(const QByteArray& plain)
{
    if (plain.size() >= 256) {
        const QByteArray deflated = qCompress(plain, 1);
        if (!deflated.isEmpty() && deflated.size() < plain.size())
            return kDeflated + deflated;
    }
    return kStored + plain;
}

std::optional<QByteArray> unpack(const QByteArray& packed)
{
    if (packed.isEmpty())
        return std::nullopt;
    if (packed.at(0) == kStored)
        return packed.mid(1);
    if (packed.at(0) != kDeflated)
        return std::nullopt;
    QByteArray plain = qUncompress(packed.mid(1));
    // qUncompress gives an empty array on failure; an empty text is never deflated.
    if (plain.isEmpty())
        return std::nullopt;
    return plain;
}

QByteArray stripWhitespace(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size());
    for (char c : in) {
        if (c != ' ' && c != '\r' && c != '\n' && c != '\t')
            out += c;
    }
    return out;
}

} // namespace

bool encryptionOn()
{
    return QFileInfo::exists(filePaths().encryptionMarker);
}

std::optional<QByteArray> encryptBytes(const QByteArray& plain, QString* error)
{
    const auto salt = processSalt();
    const auto keys = salt ? keysFor(*salt) : std::nullopt;
    QByteArray iv(kIvLen, Qt::Uninitialized);
    if (!keys || RAND_bytes(reinterpret_cast<unsigned char*>(iv.data()), kIvLen) != 1) {
        setError(error, QStringLiteral("暗号鍵を用意できません"));
        return std::nullopt;
    }
    const QByteArray packed = pack(plain);
    const auto body = runCipher(true, keys->cipher, iv, packed.constData(), packed.size());
    if (!body) {
        setError(error, QStringLiteral("暗号化できません"));
        return std::nullopt;
    }
    QByteArray envelope;
    envelope.reserve(kMagic.size() + kSaltLen + kIvLen + body->size() + kTagLen);
    envelope += kMagic;
    envelope += *salt;
    envelope += iv;
    envelope += *body;
    const auto tag = hmac(keys->mac, envelope);
    if (!tag) {
        setError(error, QStringLiteral("暗号化できません"));
        return std::nullopt;
    }
    envelope += *tag;
    return envelope.toBase64();
}

bool looksEncrypted(const QByteArray& stored)
{
    qsizetype i = 0;
    while (i < stored.size() &&
           (stored[i] == ' ' || stored[i] == '\r' || stored[i] == '\n' || stored[i] == '\t'))
        ++i;
    // base64 of the four magic bytes starts with these eight characters' first six.
    const QByteArray head = QByteArray::fromBase64(stored.mid(i, 8));
    return head.startsWith(kMagic);
}

std::optional<QByteArray> decryptBytes(const QByteArray& stored, QString* error)
{
    const QString notOurs = QStringLiteral("暗号化されたデータではないか、壊れています");
    auto decoded = QByteArray::fromBase64Encoding(stripWhitespace(stored),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        setError(error, notOurs);
        return std::nullopt;
    }
    const QByteArray& env = *decoded;
    const qsizetype headLen = kMagic.size() + kSaltLen + kIvLen;
    const qsizetype bodyLen = env.size() - headLen - kTagLen;
    if (!env.startsWith(kMagic) || bodyLen < kBlockLen || bodyLen % kBlockLen != 0) {
        setError(error, notOurs);
        return std::nullopt;
    }
    const QByteArray salt = env.mid(kMagic.size(), kSaltLen);
    const QByteArray iv = env.mid(kMagic.size() + kSaltLen, kIvLen);
    const auto keys = keysFor(salt);
    if (!keys) {
        setError(error, QStringLiteral("暗号鍵を用意できません"));
        return std::nullopt;
    }
    const auto tag = hmac(keys->mac, env.left(headLen + bodyLen));
    if (!tag ||
        CRYPTO_memcmp(tag->constData(), env.constData() + headLen + bodyLen, kTagLen) != 0) {
        setError(error, notOurs);
        return std::nullopt;
    }
    const auto packed = runCipher(false, keys->cipher, iv, env.constData() + headLen, bodyLen);
    auto plain = packed ? unpack(*packed) : std::nullopt;
    if (!plain) {
        setError(error, notOurs);
        return std::nullopt;
    }
    return plain;
}

bool EncryptFile(const QString& src, const QString& dst, QString* error)
{
    const auto plain = readFileBytes(src, error);
    if (!plain)
        return false;
    const auto enc = encryptBytes(*plain, error);
    return enc && writeFileAtomic(dst, *enc, error);
}

bool DecryptFile(const QString& src, const QString& dst, QString* error)
{
    const auto stored = readFileBytes(src, error);
    if (!stored)
        return false;
    QString why;
    const auto plain = decryptBytes(*stored, &why);
    if (!plain) {
        setError(error, QStringLiteral("%1: %2").arg(why, src));
        return false;
    }
    return writeFileAtomic(dst, *plain, error);
}

std::optional<StoredRead> readStoredFile(const QString& path, QString* error)
{
    auto bytes = readFileBytes(path, error);
    if (!bytes)
        return std::nullopt;
    StoredRead result;
    if (looksEncrypted(*bytes)) {
        // Decrypted whatever the switch says: a file must stay readable after the marker is
        // removed by hand, and the next write then stores it plain.
        if (auto plain = knownPlain(path, *bytes)) {
            result.plain = std::move(*plain);
            return result;
        }
        QString why;
        if (auto plain = decryptBytes(*bytes, &why)) {
            remember(path, *bytes, *plain);
            result.plain = std::move(*plain);
            return result;
        }
        result.tampered = true;
        result.decryptError = QStringLiteral("%1: %2").arg(why, path);
    }
    // A plain file while encryption is on is normal (a first encryption that failed, a file
    // put back by hand): it is read as it is, and the next write stores it encrypted.
    result.plain = std::move(*bytes);
    return result;
}

bool writeStoredFile(const QString& path, const QByteArray& plain, QString* error)
{
    if (encryptionOn()) {
        if (const auto enc = encryptBytes(plain)) {
            if (!writeFileAtomic(path, *enc, error))
                return false;
            remember(path, *enc, plain);
            return true;
        }
        // Falls through: an unencrypted file beats no file.
    }
    return writeFileAtomic(path, plain, error);
}

bool writeStoredFile(const QString& path, const QByteArray& plain,
                     const std::optional<QByteArray>& envelope, QString* error)
{
    if (!envelope)
        return writeFileAtomic(path, plain, error);
    if (!writeFileAtomic(path, *envelope, error))
        return false;
    remember(path, *envelope, plain);
    return true;
}

bool SetUpEncryption(QString* error)
{
    if (!ensureDataDir(error))
        return false;
    const FilePaths& p = filePaths();
    if (!QFileInfo::exists(p.encryptionMarker) &&
        !writeFileAtomic(
            p.encryptionMarker,
            QByteArrayLiteral(
                "account.crp and quillmarc.log are stored encrypted while this file exists.\r\n"),
            error))
        return false;
    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return false;
    }
    // Lines still in the journal are plain: folded now, they are stored sealed with the rest.
    foldLog(LoadTimerSettings().logRetentionHours, Clock::now());
    for (const QString& file : {p.accountFile, p.logFile}) {
        const auto bytes = readFileBytes(file);
        if (!bytes || looksEncrypted(*bytes))
            continue; // missing, or already encrypted
        // A failure leaves the file plain; the next write stores it encrypted.
        if (const auto enc = encryptBytes(*bytes))
            writeFileAtomic(file, *enc);
    }
    return true;
}

void rememberStoredPlain(const QString& path, const QByteArray& stored, const QByteArray& plain)
{
    remember(path, stored, plain);
}

} // namespace qm
