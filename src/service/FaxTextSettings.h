#pragma once

#include "platform/render/TextFaxRenderer.h"

#include <QString>

namespace qm::service {

struct EngineContext;

// Where the text fax renderer keeps its font: the registry stand-in, with the value
// names a text editor uses (face name, size in tenths of a point).
inline constexpr const char16_t* kTextFaxRoot = u"HKEY_CURRENT_USER";
inline constexpr const char16_t* kTextFaxKey = u"Software\\quillmarc\\TextFax";
inline constexpr const char16_t* kTextFaxFace = u"lfFaceName";
inline constexpr const char16_t* kTextFaxSize = u"iPointSize";

// The text style the fax renderer uses now.
TextFaxStyle CurrentTextFaxStyle();

// Saves the renderer's font and gives it the account's fax font and size (from
// Data/FontData.txt, the last line of the account). False when the account has no
// usable fax font; then nothing was changed and nothing needs restoring.
bool SetNotepadPrinting(EngineContext& ctx, const QString& accountNo);

// Puts back the font saved by the last SetNotepadPrinting.
void RestoreNotepadPrinting(EngineContext& ctx);

// No usable fax font: every line of Data/FontData.txt gets "設定不可" and "0" as its
// fax font and size, until the account editor stores a font again.
void MarkFaxFontUnavailable(EngineContext& ctx);

} // namespace qm::service
