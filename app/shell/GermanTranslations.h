#pragma once

// Qt's own texts (file dialogs, standard buttons, context menus) in German, the application's only
// language, whatever the system's locale. Needs the application object. Installs Qt's German catalogue
// once; false when it is not installed (Debian: qt6-translations-l10n), and Qt's texts stay English.
bool installGermanQtTranslations();
