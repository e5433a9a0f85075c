#pragma once

namespace qm::widgets {

// Qt's own Japanese texts (standard buttons, context menus, file dialogs), so a Japanese
// question never stands over "Yes" and "No". Call once, after the application object exists.
// False when the translation files are not installed; the texts then stay English.
bool installQtTranslations();

} // namespace qm::widgets
