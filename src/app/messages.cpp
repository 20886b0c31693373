#include "app/messages.h"

#include "app/startup.h"
#include "platform/platform.h"

namespace domora {

namespace {
MessageHandler g_handler = nullptr;
}

void set_message_handler(MessageHandler handler) { g_handler = handler; }

void show_message(const std::string& text) {
    if (g_handler) {
        g_handler(text);
        return;
    }
    std::string lines = text;
    for (std::size_t at; (at = lines.find('|')) != std::string::npos;) lines.replace(at, 1, "\r\n");
    platform().system_message_box(lines, kProductName);
}

}  // namespace domora
