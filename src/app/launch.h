// Opening web pages in the user's browser and starting e-mails in the user's
// mail program, with what was tried written to the status log.
#pragma once

#include <string>

namespace domora {

// Opens the address in the user's browser; tells the user when it cannot.
void open_web_page(const std::string& address);
// Starts a new message in the user's mail program with the recipient,
// subject, text and one attachment (each may be empty). 0 when the mail
// program was started, above 0 when none could be.
int send_email(const std::string& recipient, const std::string& subject, const std::string& text,
               const std::string& attachment);
// Forgets the browser chosen earlier in this run (a fresh start, for tests).
void forget_chosen_browser();
// The address as the browser is given it: quotes removed, unsafe characters escaped.
std::string escape_web_address(const std::string& address);

}  // namespace domora
