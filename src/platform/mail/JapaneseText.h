#pragma once

// Text conversions for Japanese mail: what arrives in any of the charsets Japanese
// mailers use (often mislabelled or unlabelled), and what goes out so that mobile and
// desktop clients can read it.

#include <QByteArray>
#include <QString>

namespace qm::mail {

// Decodes bytes that claim to be in `charset` (may be empty or wrong). Shift_JIS is read
// as CP932 and ISO-2022-JP with the vendor extensions Windows mailers send; when the
// label does not fit the bytes the charset is guessed (UTF-8, then EUC-JP, then CP932).
QString decodeText(const QByteArray& bytes, const QByteArray& charset = QByteArray());

// Whether white space at the end of a header value is kept (see oneLine).
enum class TrailingSpace { Drop, Keep };

// Decodes an unfolded or folded header value: RFC 2047 words in any of the above
// charsets (adjacent words joined before conversion, so characters split across words
// survive) and raw 8-bit text. Leading white space goes; trailing only when asked.
QString decodeHeaderText(const QByteArray& raw, TrailingSpace trailing = TrailingSpace::Drop);

// A header value as one line: TABs (and Unicode line separators) become spaces, other
// control characters go, runs of spaces become one, and the start is trimmed. What a mail
// says is later joined into TAB- and line-separated lists, where a stray TAB or line break
// would start a new item. A trailing space is kept only when asked for: a subject that
// ends in one is not the command word it would otherwise be.
QString oneLine(const QString& text, TrailingSpace trailing = TrailingSpace::Drop);

// Replaces the CP932 look-alikes of JIS X 0208 characters (full-width tilde, etc.) with
// the JIS ones, so text read from a Windows mail can go out as ISO-2022-JP.
QString jisFriendly(const QString& text);

// The text in strict ISO-2022-JP (JIS X 0208 and ASCII), or false when it does not fit.
bool encodeIso2022Jp(const QString& text, QByteArray* out);

// One header value as RFC 2047 B words in ISO-2022-JP when the text fits, else UTF-8;
// plain ASCII text of up to 900 characters is returned as is. Words are folded with CR LF + space.
QByteArray encodeHeaderText(const QString& text);

// Readable text from an HTML part: blocks become lines, tags go, entities are decoded. Nothing
// the HTML names is read. Needs an application object (Qt reads pictures through it).
QString htmlToText(const QString& html);

// CR LF for every line end (lone CR, lone LF, CR LF).
QString withCrLf(const QString& text);

} // namespace qm::mail
