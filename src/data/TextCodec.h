#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace qm {

// The one codec for every file below Data/: Shift-JIS (Windows code page 932),
// CR LF written, CR LF or LF accepted on read.

enum class DecodeMode {
    Strict, // bytes that are not valid CP932 are an error (used before a rewrite)
    Lenient // such bytes become U+FFFD (used where showing something beats nothing)
};

// Decodes CP932 bytes. In Strict mode returns nullopt (and sets error) on invalid bytes.
std::optional<QString> decodeCp932(const QByteArray& bytes, DecodeMode mode = DecodeMode::Strict,
                                   QString* error = nullptr);

// Encodes to CP932. A Unicode mark that CP932 keeps under another code point (U+301C wave
// dash, U+2212 minus, U+00A2 cent sign and their kin) is written as its CP932 look-alike, so
// it reads back as that look-alike. Returns nullopt (and sets error) when a character has no
// CP932 form at all.
std::optional<QByteArray> encodeCp932(const QString& text, QString* error = nullptr);

// Unicode text (mail, and Japanese input on this system) carries these marks under other
// code points than CP932 has them: the wave dash of "10時〜12時", the minus, the cent and
// pound signs and their kin. Each is written as the CP932 character that looks the same,
// instead of failing the write or becoming "?". Read the other way, the table gives back the
// JIS X 0208 form of text that comes from a Windows mailer.
struct Cp932LookAlike
{
    char16_t unicode;
    char16_t cp932;
};
inline constexpr Cp932LookAlike kCp932LookAlikes[] = {
    {0x301C, 0xFF5E}, // WAVE DASH -> FULLWIDTH TILDE
    {0x2016, 0x2225}, // DOUBLE VERTICAL LINE -> PARALLEL TO
    {0x2212, 0xFF0D}, // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS
    {0x00A2, 0xFFE0}, // CENT SIGN
    {0x00A3, 0xFFE1}, // POUND SIGN
    {0x00AC, 0xFFE2}, // NOT SIGN
    {0x2014, 0x2015}, // EM DASH -> HORIZONTAL BAR
    {0x00A6, 0xFFE4}, // BROKEN BAR
    {0x00A5, 0xFFE5}, // YEN SIGN
    {0x203E, 0xFFE3}, // OVERLINE -> FULLWIDTH MACRON
};

// The text with each such mark turned into its CP932 look-alike, as encodeCp932 writes it.
// Compare a text from outside with one read from Data/ in this form.
QString withCp932LookAlikes(const QString& text);

// True when the text reads back exactly as it was written, without any look-alike: what a
// password or a path needs, where a look-alike is a different value.
bool cp932Keeps(const QString& text);

// Splits text into lines at CR LF, LF or a lone CR. A final line end gives no extra empty line.
QStringList splitLines(const QString& text);

// Joins lines, each ended by CR LF, and encodes to CP932.
std::optional<QByteArray> encodeLines(const QStringList& lines, QString* error = nullptr);

// Reads a whole file as bytes. nullopt + error when it is missing or unreadable.
std::optional<QByteArray> readFileBytes(const QString& path, QString* error = nullptr);

// Reads a CP932 text file into lines. nullopt + error when missing, unreadable or (Strict)
// undecodable.
std::optional<QStringList> readTextLines(const QString& path, DecodeMode mode = DecodeMode::Strict,
                                         QString* error = nullptr);

// Writes lines (CP932, CR LF after each) as a whole-file atomic replace.
bool writeTextLines(const QString& path, const QStringList& lines, QString* error = nullptr);

// Writes text exactly (CP932, no line end added) as a whole-file atomic replace.
bool writeTextExact(const QString& path, const QString& text, QString* error = nullptr);

// Adds one line (CP932, CR LF) at the end of a record that only ever grows by a line: no
// rewrite, so a busy cycle stays fast; synced only where asked. A line torn by a crash is
// closed off before the next one, so it spoils at most itself.
enum class AppendSync { No, Yes };
bool appendTextLine(const QString& path, const QString& line, AppendSync sync,
                    QString* error = nullptr);

} // namespace qm

namespace qm {

// The text as CP932 can carry it: look-alikes as encodeCp932 writes them, and every character
// with no CP932 form replaced by "?". For texts that come from outside (mail headers) and must
// be written no matter what, such as log lines.
QString toCp932Safe(const QString& text);

} // namespace qm
