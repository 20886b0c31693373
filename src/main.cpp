#include <string>
#include <vector>

#include "shell/shell.h"
#include "platform/cp1252.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_print.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(domora::utf8_to_cp1252(argv[i]));
    std::unique_ptr<domora::Platform> qt = domora::make_qt_platform(argc, argv);
    domora::set_platform(qt.get());
    std::unique_ptr<domora::PrintService> printing = domora::make_qt_print_service();
    domora::set_print_service(printing.get());
    const int code = domora::run_domora(arguments);
    domora::set_print_service(nullptr);
    printing.reset();
    domora::set_platform(nullptr);
    return code;
}
