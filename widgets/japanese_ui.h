// Every window speaks Japanese: Qt's own texts (standard buttons of message
// boxes, the folder chooser, context menus) come from Qt's Japanese
// translations, and one Japanese-capable font is used everywhere, so lines
// of the event list never mix two fonts.
#pragma once

#include <string>

class QApplication;

namespace orvana {

struct JapaneseUi {
    bool translations = false;  // Qt's Japanese texts were found and installed
    std::string font;           // the family now used by every window; empty: Qt's default
};

// Installs Qt's Japanese translations (qtbase_ja from Qt's translations
// folder; Debian's qt6-translations-l10n) and the first installed family of
// Noto Sans CJK JP, IPAPGothic, IPAGothic as the application font. What is
// missing is left as Qt has it. Call once after the QApplication exists. UI
// thread.
JapaneseUi useJapaneseUi(QApplication& app);

// The folder a folder chooser should open: `field` when it is an existing
// folder, else its nearest existing parent, else the home folder. Any thread.
std::string startFolderFor(const std::string& field);

}  // namespace orvana
