// How each widget kind looks.
#include <algorithm>

#include "app/main_window.h"
#include "ui/field_editor.h"
#include "ui/widgets.h"

namespace domora {

namespace {

constexpr std::uint32_t kButtonBorder = rgb(63, 115, 139);
constexpr std::uint32_t kLinkBackground = rgb(48, 89, 105);
constexpr std::uint32_t kLinkHover = rgb(255, 255, 0);
constexpr std::uint32_t kScrollTrack = rgb(120, 120, 120);

struct Shade {
    std::uint32_t top;
    std::uint32_t bottom;
    std::uint32_t border;
};

Shade button_shade(int look) {
    switch (look) {
        case kLookHovered: return {rgb(255, 255, 255), rgb(222, 234, 244), rgb(40, 120, 170)};
        case kLookPressedLeft: return {rgb(176, 196, 212), rgb(214, 224, 233), rgb(30, 70, 95)};
        case kLookPressedRight: return {rgb(196, 206, 180), rgb(226, 232, 214), rgb(30, 70, 95)};
        default: return {rgb(246, 248, 250), rgb(208, 218, 228), kButtonBorder};
    }
}

void draw_face(const Rect& r, const Shade& shade) {
    FillBox(r, shade.bottom);
    platform().gradient_rect(Rect{r.left, r.top, r.right, r.bottom}, shade.top, shade.bottom, 255);
    FrameBox(r, shade.border);
}

// The mnemonic's letter (position p from 1) is underlined, so the user sees
// which key presses the widget; the text starts at left.
void underline_mnemonic(FontHandle font, const std::string& text, int p, int left, int top, std::uint32_t colour) {
    if (p < 1 || p > static_cast<int>(text.size()) || text[static_cast<std::size_t>(p - 1)] == ' ') return;
    const int height = FontHeight(font);
    const int x = left + MeasureText(font, text.substr(0, static_cast<std::size_t>(p - 1))).width;
    const int width = MeasureText(font, text.substr(static_cast<std::size_t>(p - 1), 1)).width;
    const int y = top + height - std::max(2, height / 8);
    platform().draw_line(x, y, x + width - 1, y, colour);
}

// Arrow captions: a control character in front selects a bitmap instead of text.
const char* arrow_bitmap(unsigned char first) {
    switch (first) {
        case 1: return "ARROW_UP";
        case 2: return "ARROW_DOWN";
        case 3: return "ARROW_RIGHT";
        case 4: return "ARROW_LEFT";
        case 14: return "BIG_LEFT";
        case 15: return "BIG_RIGHT";
        default: return nullptr;
    }
}

void draw_centred_bitmap(const std::string& name, const Rect& r) {
    int w = 0, h = 0;
    if (!platform().bitmap_size(name, w, h)) return;
    DrawResourceBitmap(name, r.left + (r.right - r.left - w) / 2, r.top + (r.bottom - r.top - h) / 2);
}

void draw_caption(const WidgetRecord& w, std::uint32_t colour, int shift) {
    const Rect r = w.rect();
    if (!w.text.empty()) {
        if (const char* arrow = arrow_bitmap(static_cast<unsigned char>(w.text[0]))) {
            draw_centred_bitmap(arrow, Rect{r.left + shift, r.top + shift, r.right + shift, r.bottom + shift});
            return;
        }
    }
    std::string caption = w.text;
    bool drop_down = false;
    if (!caption.empty() && caption[0] == '>') {
        caption.erase(0, 1);
        drop_down = true;
    }
    ClipTo(r);
    const int height = FontHeight(w.font);
    int right_room = 0;
    if (drop_down) {
        int bw = 0, bh = 0;
        platform().bitmap_size("BIG_DOWN", bw, bh);
        right_room = bw + 8;
        DrawResourceBitmap("BIG_DOWN", r.right - bw - 6 + shift, r.top + (r.bottom - r.top - bh) / 2 + shift);
    }
    const int text_x = (r.left + r.right - right_room) / 2 + shift;
    const int text_y = r.top + (r.bottom - r.top - height) / 2 + shift;
    // A caption wider than its button ends in the ellipsis; a letter past the
    // cut is not underlined.
    const std::size_t whole = caption.size();
    if (r.right > r.left) caption = fitted_text(w.font, caption, r.right - r.left - right_room - 4);
    const std::size_t shown = caption.size() < whole ? caption.size() - 1 : caption.size();
    DrawTextAt(text_x, text_y, 2, colour, w.font, caption);
    // The mnemonic's letter is underlined, so the user sees which key presses the button.
    const int p = (w.mnemonic >= 100 ? w.mnemonic - 100 : w.mnemonic) - (drop_down ? 1 : 0);
    if (w.kind == kKindButton && p <= static_cast<int>(shown)) {
        underline_mnemonic(w.font, caption, p, text_x - MeasureText(w.font, caption).width / 2, text_y, colour);
    }
    ClipTo(Rect{});
}

std::uint32_t shade_of(std::uint32_t colour, int percent) {
    // percent > 0 lightens towards white, < 0 darkens towards black.
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int c = static_cast<int>((colour >> shift) & 0xFF);
        c = percent >= 0 ? c + (255 - c) * percent / 100 : c * (100 + percent) / 100;
        out |= static_cast<std::uint32_t>(c) << shift;
    }
    return out;
}

// A button in a colour of its own: the face shaded from that colour.
Shade coloured_shade(std::uint32_t face, int look) {
    switch (look) {
        case kLookHovered: return {shade_of(face, 45), shade_of(face, 15), shade_of(face, -45)};
        case kLookPressedLeft:
        case kLookPressedRight: return {shade_of(face, -25), shade_of(face, 5), shade_of(face, -60)};
        default: return {shade_of(face, 30), face, shade_of(face, -45)};
    }
}

void draw_button(const WidgetRecord& w) {
    // colour2 gives the face; none (0) or white keeps the standard light face.
    const bool coloured = w.colour2 != 0 && w.colour2 != rgb(255, 255, 255);
    draw_face(w.rect(), coloured ? coloured_shade(w.colour2, w.look) : button_shade(w.look));
    draw_caption(w, w.colour1, w.look == kLookPressedLeft || w.look == kLookPressedRight ? 1 : 0);
    if (w.checked) {
        // The button Enter chooses: a focus frame just inside its border.
        const Rect r = w.rect();
        DottedBox(Rect{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3}, rgb(0, 0, 0));
    }
}

void draw_tab(const WidgetRecord& w) {
    const Rect r = w.rect();
    // colour2 tells the active tab (non-zero) from the others.
    const bool active = w.colour2 != 0;
    Shade shade = active ? Shade{rgb(236, 241, 246), rgb(200, 212, 224), rgb(24, 52, 64)}
                         : Shade{rgb(112, 146, 162), rgb(76, 112, 128), rgb(24, 52, 64)};
    if (!active && w.look == kLookHovered) shade = Shade{rgb(138, 172, 188), rgb(96, 134, 150), rgb(24, 52, 64)};
    if (!active && (w.look == kLookPressedLeft || w.look == kLookPressedRight)) shade.top = shade.bottom;
    draw_face(Rect{r.left, r.top + (active ? 0 : 3), r.right, r.bottom}, shade);
    WidgetRecord caption = w;
    caption.y1 += active ? 0 : 3;
    draw_caption(caption, active ? rgb(0, 0, 0) : rgb(255, 255, 255), 0);
}

void draw_link(const WidgetRecord& w) {
    const Rect r = w.rect();
    FillBox(r, kLinkBackground);
    ClipTo(r);
    const FontHandle font = w.look == kLookNormal ? w.font : fonts().link;
    const std::uint32_t colour = w.look == kLookNormal ? w.colour1 : w.look == kLookHovered ? kLinkHover : w.colour2;
    DrawFittedText(r.left, r.top + (r.bottom - r.top - FontHeight(font)) / 2, r.right, colour, font, w.text);
    ClipTo(Rect{});
}

void draw_scroll_bar(WidgetRecord& w) {
    const Rect r = w.rect();
    FillBox(r, kScrollTrack);
    if (!w.list) return;
    clamp_scroll(*w.list);
    const ScrollThumb thumb = scroll_thumb(*w.list, r.top, r.bottom);
    draw_face(Rect{r.left, thumb.top, r.right, std::max(thumb.top + 1, thumb.bottom)}, button_shade(w.look == kLookNormal ? kLookNormal : kLookHovered));
}

void draw_check_box(const WidgetRecord& w) {
    const Rect r = w.rect();
    const char* name = w.checked ? "CHECKED_BOX" : "UNCHECKED_BOX";
    int bw = 16, bh = 16;
    platform().bitmap_size(name, bw, bh);
    DrawResourceBitmap(name, r.left, r.top + (r.bottom - r.top - bh) / 2);
    if (!w.text.empty()) {
        ClipTo(r);
        const int top = r.top + (r.bottom - r.top - FontHeight(w.font)) / 2;
        const std::string shown = fitted_text(w.font, w.text, r.right - r.left - bw - 6);
        DrawTextAt(r.left + bw + 6, top, 0, w.colour1, w.font, shown);
        const int p = w.mnemonic >= 100 ? w.mnemonic - 100 : w.mnemonic;
        // A letter past the cut is not underlined.
        if (shown == w.text || p < static_cast<int>(shown.size())) {
            underline_mnemonic(w.font, shown, p, r.left + bw + 6, top, w.colour1);
        }
        ClipTo(Rect{});
    }
}

}  // namespace

void draw_widget_kind(WidgetRecord& w, bool focused) {
    const Rect r = w.rect();
    switch (w.kind) {
        case kKindRectangle:
            ClipTo(r);
            FillBox(r, w.colour2);
            FrameBox(r, w.colour1);
            break;
        case kKindTab: draw_tab(w); break;
        case kKindButton: draw_button(w); break;
        case kKindLabel:
            ClipTo(r);
            // A label without width is drawn whole: there is no box to fit.
            if (r.right > r.left) {
                DrawFittedText(r.left, r.top, r.right, w.colour1, w.font, w.text);
            } else {
                DrawTextAt(r.left, r.top, 0, w.colour1, w.font, w.text);
            }
            break;
        case kKindLink: draw_link(w); break;
        case kKindPanel:
            FillBox(r, w.colour2);
            FrameBox(r, w.colour1);
            break;
        case kKindFilled: FillBox(r, w.colour2); break;
        case kKindOutline: FrameBox(r, w.colour1); break;
        case kKindDotted: DottedBox(r, w.colour1); break;
        case kKindShade: BlendRect(r, w.colour1, 110); break;
        case kKindBitmap: DrawResourceBitmap(w.text, r.left, r.top); break;
        case kKindBackground:
            ClipTo(r);
            FillBox(r, kBackgroundRgb);
            break;
        case kKindFieldFrame:
            FillBox(r, w.colour2);
            FrameBox(r, w.colour1);
            break;
        case kKindTextInput: draw_text_field(w, focused); break;
        case kKindScrollBar: draw_scroll_bar(w); break;
        case kKindSavedImage:
            // Where the window grew since the image was saved, the background shows.
            FillBox(r, kBackgroundRgb);
            DrawSaved(r);
            break;
        case kKindCheckBox: draw_check_box(w); break;
        case kKindGradient: platform().gradient_rect(r, w.colour1, w.colour2, 230); break;
        default: break;  // hit areas and kinds without a drawer of their own
    }
}

}  // namespace domora
