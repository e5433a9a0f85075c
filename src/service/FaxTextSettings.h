#pragma once

#include "platform/render/TextFaxRenderer.h"

#include <QString>
#include <optional>

namespace qm::service {

struct EngineContext;

// The account's fax font and size, from the last line of the account in Data/FontData.txt;
// nothing when the account has no usable fax font.
std::optional<TextFaxStyle> LoadFaxTextStyle(EngineContext& ctx, const QString& accountNo);

// No usable fax font: every line of Data/FontData.txt gets "設定不可" and "0" as its
// fax font and size, until the account editor stores a font again.
void MarkFaxFontUnavailable(EngineContext& ctx);

} // namespace qm::service
