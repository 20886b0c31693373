// Messages for the user from code below the screen toolkit. The toolkit
// registers its popup; until then (and in start-up) the system's box is used.
#pragma once

#include <string>

namespace domora {

// Shows text with an "OK" button. "|" separates lines.
void show_message(const std::string& text);
using MessageHandler = void (*)(const std::string& text);
void set_message_handler(MessageHandler handler);

}  // namespace domora
