// A first, plain version: the browser through the desktop's opener and mail
// through xdg-email.
#include "app/launch.h"

#include "app/messages.h"
#include "app/text.h"
#include "platform/platform.h"

namespace domora {

std::string escape_web_address(const std::string& address) { return trim(address); }

void open_web_page(const std::string& address) {
    const std::string url = trim(address);
    if (url.empty()) {
        show_message("No Web Page to Open?");
        return;
    }
    platform().open_url(escape_web_address(url));
}

int send_email(const std::string& recipient, const std::string& subject, const std::string& text,
               const std::string& attachment) {
    std::vector<std::string> argv = {"xdg-email", "--subject", trim(subject), "--body", text};
    if (!trim(attachment).empty()) {
        argv.push_back("--attach");
        argv.push_back(trim(attachment));
    }
    if (!trim(recipient).empty()) argv.push_back(trim(recipient));
    return platform().start_program(argv) == 0 ? 0 : 1;
}

}  // namespace domora
