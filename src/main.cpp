#include <string>
#include <vector>

#include "app/update_check.h"
#include "shell/shell.h"
#include "platform/cp1252.h"
#include "platform/qt/qt_accessibility.h"
#include "platform/qt/qt_font_families.h"
#include "platform/qt/qt_image.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_print.h"
#include "platform/qt/qt_session_lock.h"
#include "platform/libsecret/libsecret_store.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(domora::utf8_to_cp1252(argv[i]));
    std::unique_ptr<domora::Platform> qt = domora::make_qt_platform(argc, argv);
    domora::set_platform(qt.get());
    std::unique_ptr<domora::FontCatalogue> fonts = domora::make_qt_font_catalogue();
    domora::set_font_catalogue(fonts.get());
    std::unique_ptr<domora::ImageService> images = domora::make_qt_image_service();
    domora::set_image_service(images.get());
    std::unique_ptr<domora::PrintService> printing = domora::make_qt_print_service();
    domora::set_print_service(printing.get());
    std::unique_ptr<domora::AccessibilityService> accessibility = domora::make_qt_accessibility_service();
    domora::set_accessibility_service(accessibility.get());
    std::unique_ptr<domora::SessionLockWatch> session_lock = domora::make_qt_session_lock_watch();
    domora::set_session_lock_watch(session_lock.get());
    std::unique_ptr<domora::SecretStore> secrets = domora::make_libsecret_store();
    domora::set_secret_store(secrets.get());
    // Only the program itself gets the packager's server; tests never do.
    domora::set_built_in_update_host(DOMORA_UPDATE_HOST);
    const int code = domora::run_domora(arguments);
    domora::set_secret_store(nullptr);
    domora::set_session_lock_watch(nullptr);
    session_lock.reset();
    domora::set_accessibility_service(nullptr);
    accessibility.reset();
    domora::set_print_service(nullptr);
    printing.reset();
    domora::set_image_service(nullptr);
    domora::set_font_catalogue(nullptr);
    domora::set_platform(nullptr);
    return code;
}
