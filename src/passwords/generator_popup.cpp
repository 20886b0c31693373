#include "passwords/generator_popup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/main_window.h"
#include "passwords/password_generator.h"
#include "passwords/secure_memory.h"
#include "platform/platform.h"
#include "ui/event_wait.h"
#include "ui/popups.h"
#include "ui/widgets.h"

namespace domora {

namespace {

constexpr std::uint32_t kBlack = rgb(0, 0, 0);
constexpr std::uint32_t kStrengthColour = rgb(0, 90, 40);
constexpr int kRowHeight = 32;
constexpr std::size_t kShownPerLine = 44;

GeneratorChoice g_choice;

std::string bits_text(double bits) {
    char text[64];
    std::snprintf(text, sizeof text, "Strength: %.0f bits", std::floor(bits));
    return text;
}

void wipe_widget_texts() {
    for (WidgetRecord& record : widgets()) {
        if (record.id == kEndMarker) break;
        wipe(record.text);
    }
}

class GeneratorPopup {
public:
    explicit GeneratorPopup(std::string& out) : m_out(out) {}

    bool run() {
        MainWindowState& win = main_window();
        if (win.quit_requested || win.close_popups) return false;
        PopupScope scope;
        generate();
        build();
        InputState& in = input();
        // A key still held from the form (its Alt+G) is not meant for the popup.
        int stale_key = in.key;
        int result = 0;
        while (result == 0 && !win.quit_requested && !win.close_popups) {
            if (win.screen_needs_redraw) {
                win.screen_needs_redraw = false;
                build();
            }
            const int id = event_wait(true);
            if (in.key != stale_key) stale_key = 0;
            if (id != 0) {
                result = act(id);
            } else if (stale_key == 0 && in.key == kKeyReturn) {
                result = kGenUse;
            } else if (stale_key == 0 && in.key == kKeyEscape) {
                result = kGenCancel;
            } else if (stale_key == 0 && (in.key == kKeyPageUp || in.key == kKeyPageDown)) {
                // Ten at a time, for the far end of the lengths.
                step_by(in.key == kKeyPageUp ? 10 : -10);
                KeyRepeatDelay(1);
            }
        }
        wipe_widget_texts();
        wait_for_release();
        wait_for_key_release();
        if (result != kGenUse) {
            wipe(m_current.text());
            return false;
        }
        m_out = m_current.text();
        return true;
    }

private:
    std::string& m_out;
    ScopedSecret m_current;

    void generate() {
        wipe(m_current.text());
        m_current.text() = generate_password(g_choice);
    }

    void step_by(int steps) {
        if (g_choice.passphrase) {
            g_choice.words = std::clamp(g_choice.words + steps, kMinPassphraseWords, kMaxPassphraseWords);
        } else {
            g_choice.length = std::clamp(g_choice.length + steps, kMinGeneratedLength, kMaxGeneratedLength);
        }
        generate();
        build();
    }

    // The classes keep at least one chosen.
    void toggle(bool& flag) {
        const int chosen = g_choice.upper + g_choice.lower + g_choice.digits + g_choice.symbols;
        if (flag && chosen == 1) return;
        flag = !flag;
    }

    int act(int id) {
        switch (id) {
            case kGenUse:
            case kGenCancel: return id;
            // A row's buttons act while its mode is the chosen one.
            case kGenShorter:
            case kGenLonger:
                if (!g_choice.passphrase) step_by(id == kGenLonger ? 1 : -1);
                return 0;
            case kGenFewerWords:
            case kGenMoreWords:
                if (g_choice.passphrase) step_by(id == kGenMoreWords ? 1 : -1);
                return 0;
            case kGenUpper: toggle(g_choice.upper); break;
            case kGenLower: toggle(g_choice.lower); break;
            case kGenDigits: toggle(g_choice.digits); break;
            case kGenSymbols: toggle(g_choice.symbols); break;
            case kGenPassphrase: g_choice.passphrase = !g_choice.passphrase; break;
            case kGenAnother: break;
            default: return 0;
        }
        generate();
        build();
        return 0;
    }

    void build() {
        const Fonts& f = fonts();
        const MainWindowState& win = main_window();
        const int text_height = FontHeight(f.input);
        const int line_height = FontHeight(f.message);
        const std::string& shown = m_current.text();
        const int shown_lines = std::max<int>(1, static_cast<int>((shown.size() + kShownPerLine - 1) / kShownPerLine));
        const int shown_width = MeasureText(f.input, std::string(kShownPerLine, 'W')).width;
        const int width = std::min(win.client_width - 40, std::max(520, shown_width + 60));
        const int height = 12 + line_height + 14 + 3 * (text_height + 4) + 8 + line_height + 16 + 6 * (kRowHeight + 6) + 16 + 32 + 16;
        const int left = (win.client_width - width) / 2;
        const int top = std::max(40, (win.client_height - height) / 2);
        begin_popup_widgets(Rect{left, top, left + width, top + height});
        auto centred = [&](int y, FontHandle font, std::uint32_t colour, const std::string& text) {
            const int w = MeasureText(font, text).width;
            AddWidget(0, kKindLabel, left + (width - w) / 2, y, left + (width + w) / 2 + 1, y + FontHeight(font), colour, 0, font, 0, text);
        };
        int y = top + 12;
        centred(y, f.message, kBlack, "Generate a Password");
        y += line_height + 14;
        for (int i = 0; i < 3; ++i) {
            const std::size_t from = static_cast<std::size_t>(i) * kShownPerLine;
            if (i < shown_lines) centred(y, f.input, kBlack, shown.substr(from, kShownPerLine));
            y += text_height + 4;
        }
        y += 8;
        centred(y, f.message, kStrengthColour, bits_text(strength_bits(g_choice)));
        y += line_height + 16;

        const int x = left + 40;
        const int check_width = width - 80;
        auto check = [&](int id, const std::string& caption, bool on, bool enabled) {
            const int n = AddWidget(id, kKindCheckBox, x, y, x + check_width, y + kRowHeight, enabled ? kBlack : rgb(120, 120, 120), 0,
                                    f.message, 1, caption);
            widgets()[static_cast<std::size_t>(n - 1)].checked = on ? 1 : 0;
            y += kRowHeight + 6;
        };
        // The row of the length or the words: "-" and "+" press with their keys.
        auto stepper = [&](int less, int more, const std::string& label, int value, bool active) {
            const int label_width = MeasureText(f.message, label).width;
            AddWidget(0, kKindLabel, x, y + (kRowHeight - line_height) / 2, x + label_width + 1, y + (kRowHeight + line_height) / 2,
                      active ? kBlack : rgb(120, 120, 120), 0, f.message, 0, label);
            const int bx = x + 130;
            AddWidget(less, kKindButton, bx, y, bx + 40, y + kRowHeight, kBlack, 0, f.button, active ? 1 : 0, "-");
            const std::string number = std::to_string(value);
            const int nw = MeasureText(f.message, number).width;
            AddWidget(0, kKindLabel, bx + 70 - nw / 2, y + (kRowHeight - line_height) / 2, bx + 70 + nw / 2 + 1,
                      y + (kRowHeight + line_height) / 2, kBlack, 0, f.message, 0, number);
            AddWidget(more, kKindButton, bx + 100, y, bx + 140, y + kRowHeight, kBlack, 0, f.button, active ? 1 : 0, "+");
            y += kRowHeight + 6;
        };
        const bool characters = !g_choice.passphrase;
        stepper(kGenShorter, kGenLonger, "Length:", g_choice.length, characters);
        // Two columns of classes keep the popup short.
        const int row_y = y;
        check(kGenUpper, "Upper Case (A-Z)", g_choice.upper, characters);
        check(kGenLower, "Lower Case (a-z)", g_choice.lower, characters);
        const int after = y;
        y = row_y;
        const int half = check_width / 2;
        auto check_right = [&](int id, const std::string& caption, bool on) {
            const int n = AddWidget(id, kKindCheckBox, x + half, y, x + check_width, y + kRowHeight, characters ? kBlack : rgb(120, 120, 120),
                                    0, f.message, 1, caption);
            widgets()[static_cast<std::size_t>(n - 1)].checked = on ? 1 : 0;
            y += kRowHeight + 6;
        };
        check_right(kGenDigits, "Digits (2-9)", g_choice.digits);
        check_right(kGenSymbols, "Symbols (!#$%...)", g_choice.symbols);
        y = after;
        check(kGenPassphrase, "Passphrase of words from the EFF list", g_choice.passphrase, true);
        stepper(kGenFewerWords, kGenMoreWords, "Words:", g_choice.words, g_choice.passphrase);

        const char* captions[] = {"Use", "New", "Cancel"};
        const int button_width = 110;
        const int row_left = left + (width - 3 * button_width) / 2;
        y = top + height - 16 - 32;
        for (int i = 0; i < 3; ++i) {
            const int bx = row_left + i * button_width;
            // "Use" is Enter's: its U is the upper case letters'.
            const int n = AddWidget(kFirstButtonId + i, kKindButton, bx, y, bx + button_width, y + 32, kBlack, 0, f.button,
                                    i == 0 ? 0 : 1, captions[i]);
            widgets()[static_cast<std::size_t>(n - 1)].checked = i == 0 ? 1 : 0;
        }
        DrawAllWidgets();
    }
};

}  // namespace

void reset_generator_choice() { g_choice = GeneratorChoice{}; }

bool generate_password_popup(std::string& out) {
    GeneratorPopup popup(out);
    return popup.run();
}

}  // namespace domora
