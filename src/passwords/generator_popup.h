// The small popup of the record forms' "Generate" button: length, classes
// or a passphrase, the password it made and its strength in bits. "-" and
// "+" (the keys too) change the length or the number of words by one,
// Page Down and Page Up by ten; each class and the passphrase toggle with
// their first letter; Enter uses the password, Escape leaves.
#pragma once

#include <string>

namespace domora {

// Widget identifiers of the popup.
enum GeneratorWidget {
    kGenShorter = 620,
    kGenLonger = 621,
    kGenUpper = 622,
    kGenLower = 623,
    kGenDigits = 624,
    kGenSymbols = 625,
    kGenPassphrase = 626,
    kGenFewerWords = 627,
    kGenMoreWords = 628,
    kGenUse = 5000,    // the popup's buttons: "Use", "New", "Cancel"
    kGenAnother = 5001,
    kGenCancel = 5002,
};

// Shows the popup until the user takes a password (true, out holds it) or
// leaves. The choices are kept for the next time within the run.
bool generate_password_popup(std::string& out);
// Back to the first choices: 20 characters of every class.
void reset_generator_choice();

}  // namespace domora
