#include "platform/qt/qt_font_families.h"

#include <QtGui/QFontDatabase>

#include "platform/cp1252.h"

namespace domora {

namespace {

class QtFontCatalogue : public FontCatalogue {
public:
    std::vector<std::string> families() override {
        std::vector<std::string> names;
        for (const QString& family : QFontDatabase::families()) {
            // A name that Windows-1252 cannot hold could not be found again
            // from the settings file, so it is not offered.
            if (QFontDatabase::isPrivateFamily(family)) continue;
            const std::string utf8 = family.toStdString();
            const std::string bytes = utf8_to_cp1252(utf8);
            if (cp1252_to_utf8(bytes) != utf8) continue;
            names.push_back(bytes);
        }
        return names;
    }
};

}  // namespace

std::unique_ptr<FontCatalogue> make_qt_font_catalogue() { return std::make_unique<QtFontCatalogue>(); }

}  // namespace domora
