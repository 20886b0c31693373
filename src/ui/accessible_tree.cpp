#include "ui/accessible_tree.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "app/main_window.h"
#include "app/startup.h"
#include "ui/event_wait.h"
#include "ui/field_editor.h"

namespace domora {

namespace {

std::map<int, ListDescriber>& describers() {
    static std::map<int, ListDescriber> table;
    return table;
}

bool g_stale = true;
std::shared_ptr<const AccessibleTree> g_published;
std::vector<int> g_published_widgets;                  // widget index of each published node
std::unordered_map<std::uint64_t, std::uint32_t> g_keys;  // what each widget was called last time
std::uint32_t g_next_key = 1;
std::uint64_t g_serial = 0;

// A text for a field that waits for its click to give it the focus.
struct PendingText {
    std::uint32_t key = 0;
    std::string text;
};
PendingText g_pending;

const WidgetRecord& record(int index) { return widgets()[static_cast<std::size_t>(index)]; }

bool overlaps_vertically(const WidgetRecord& a, const WidgetRecord& b) { return a.y1 < b.y2 && b.y1 < a.y2; }

bool inside(const WidgetRecord& inner, const WidgetRecord& outer) {
    return inner.x1 >= outer.x1 && inner.x2 <= outer.x2 && inner.y1 >= outer.y1 && inner.y2 <= outer.y2;
}

// Captions that are arrows drawn as bitmaps.
std::string button_name(const WidgetRecord& w) {
    if (!w.text.empty()) {
        switch (static_cast<unsigned char>(w.text[0])) {
            case 1: return "Scroll Up";
            case 2: return "Scroll Down";
            case 3: return "Right";
            case 4: return "Left";
            case 14: return "Previous";
            case 15: return "Next";
            case '>': return w.text.substr(1);
            default: break;
        }
    }
    return w.text;
}

// The label left of a field on the same line, nearest to it.
std::string field_label(int field, int first, int count) {
    const WidgetRecord& f = record(field);
    int best = -1;
    for (int i = first; i < count; ++i) {
        const WidgetRecord& w = record(i);
        if (w.kind != kKindLabel || w.text.empty() || !overlaps_vertically(w, f) || w.x1 >= f.x1) continue;
        if (best < 0 || w.x2 > record(best).x2) best = i;
    }
    return best < 0 ? std::string() : record(best).text;
}

// A switch drawn as a rectangle with labels and answered by a hit area of the
// same rectangle: the hit area is the button, the labels its name.
bool is_switch(int hit, int first) {
    const WidgetRecord& h = record(hit);
    for (int i = first; i < hit; ++i) {
        const WidgetRecord& w = record(i);
        if (w.kind == kKindRectangle && w.x1 == h.x1 && w.y1 == h.y1 && w.x2 == h.x2 && w.y2 == h.y2) return true;
    }
    return false;
}

AccessibleNode node_of(AccessibleRole role, const WidgetRecord& w, std::string name) {
    AccessibleNode n;
    n.role = role;
    n.name = std::move(name);
    n.bounds = w.rect();
    return n;
}

// The identity of a node from one description to the next: where it is
// (screen, popup), what it is, its identifier and how many of the same came before.
std::uint64_t signature(int screen, int dialog, AccessibleRole role, int id, int ordinal) {
    return (static_cast<std::uint64_t>(screen & 0xFF) << 56) | (static_cast<std::uint64_t>(dialog & 0xFFFF) << 40) |
           (static_cast<std::uint64_t>(static_cast<int>(role) & 0xFF) << 32) |
           (static_cast<std::uint64_t>(id & 0xFFFF) << 16) | static_cast<std::uint64_t>(ordinal & 0xFFFF);
}

// Kinds from here on are drawn by the screens' own drawers.
constexpr int kFirstScreenKind = 25;

bool is_table_kind(int kind) {
    return kind == kKindPasswordList || kind == kKindAddressList || kind == kKindFileList || kind == kKindOptionList ||
           kind == kKindVehicleList || kind == kKindPopupList;
}

void apply_text(int index, const std::string& text) {
    WidgetRecord& field = widgets()[static_cast<std::size_t>(index)];
    const int limit = field.max_length > 0 ? field.max_length : static_cast<int>(kMaxWidgetText);
    field.sel_start = 0;
    field.sel_end = static_cast<int>(field.text.size());
    field.caret = field.sel_end;
    field_paste(field, text, limit);
    field.sel_start = field.sel_end = field.caret;
    field_scroll_to_caret(field);
    field_reset_caret();
    DrawWidget(index);
    present_widget(index);
    // The client may read the field back at once.
    publish_accessible_tree();
}

// The widget index of the published node with this key, or -1.
int widget_of_key(std::uint32_t key, int* node = nullptr) {
    if (!g_published) return -1;
    const int at = g_published->index_of(key);
    if (node) *node = at;
    return at < 0 ? -1 : g_published_widgets[static_cast<std::size_t>(at)];
}

}  // namespace

void set_list_describer(int kind, ListDescriber describer) { describers()[kind] = describer; }

Rect list_row_bounds(const WidgetRecord& list, int top, int row, int height, int scroll_offset) {
    const int y = top + row * height - scroll_offset;
    return Rect{list.x1, y, list.x2, y + height};
}

AccessibleTree describe_widgets(std::vector<int>* widget_of) {
    AccessibleTree tree;
    tree.window_name = kProductName;
    std::vector<int> widget_index;
    int count = 0;
    while (count < kMaxWidgets && record(count).id != kEndMarker) ++count;
    tree.nodes.reserve(static_cast<std::size_t>(count) + 2);
    widget_index.reserve(static_cast<std::size_t>(count) + 2);
    auto add = [&](AccessibleNode n, int index) {
        tree.nodes.push_back(std::move(n));
        widget_index.push_back(index);
        return static_cast<int>(tree.nodes.size()) - 1;
    };

    // A popup's table starts with the saved screen behind it; its panel is the dialog.
    int parent = -1;
    int dialog = -1;
    if (count > 0 && record(0).kind == kKindSavedImage) {
        for (int i = 0; i < count; ++i) {
            if (record(i).kind != kKindPanel) continue;
            AccessibleNode d = node_of(AccessibleRole::Dialog, record(i), "");
            dialog = parent = add(std::move(d), -1);
            break;
        }
    }
    int tab_list = -1;
    // Labels that name a switch are heard as the switch's name, not again on their own.
    std::vector<char> hidden(static_cast<std::size_t>(count), 0);
    for (int i = 0; i < count; ++i) {
        const WidgetRecord& w = record(i);
        if (w.kind != kKindHitArea || w.id == 0 || w.id == kHeaderBandId || !is_switch(i, 0)) continue;
        for (int j = 0; j < i; ++j) {
            if (record(j).kind == kKindLabel && inside(record(j), w)) hidden[static_cast<std::size_t>(j)] = 1;
        }
    }
    const int focused = focused_field();
    // A widget that answers a click when it has an identifier.
    auto control = [&](AccessibleRole role, const WidgetRecord& w, std::string name, unsigned states) {
        AccessibleNode n = node_of(role, w, std::move(name));
        n.parent = parent;
        n.actions = w.id != 0 ? kAccessiblePress : 0u;
        n.states = kAccessibleFocusable | states;
        return n;
    };
    for (int i = 0; i < count; ++i) {
        const WidgetRecord& w = record(i);
        if (hidden[static_cast<std::size_t>(i)]) continue;
        const std::string* spoken = w.accessible_name.empty() ? &w.text : &w.accessible_name;
        switch (w.kind) {
            case kKindTab: {
                if (tab_list < 0) {
                    AccessibleNode list = node_of(AccessibleRole::PageTabList, w, "");
                    list.parent = parent;
                    tab_list = add(std::move(list), -1);
                }
                AccessibleNode n = node_of(AccessibleRole::PageTab, w, *spoken);
                n.parent = tab_list;
                n.actions = kAccessiblePress;
                n.states = kAccessibleFocusable | (w.colour2 == 1 ? kAccessibleSelected : 0u);
                Rect& group = tree.nodes[static_cast<std::size_t>(tab_list)].bounds;
                group.left = std::min(group.left, w.x1);
                group.right = std::max(group.right, w.x2);
                add(std::move(n), i);
                break;
            }
            case kKindButton: {
                AccessibleNode n = control(AccessibleRole::PushButton, w, w.accessible_name.empty() ? button_name(w) : w.accessible_name,
                                           dialog >= 0 && w.checked == 1 ? kAccessibleDefault : 0u);
                if (!w.text.empty() && w.text[0] == '>') n.description = "Opens a list to choose from";
                add(std::move(n), i);
                break;
            }
            case kKindCheckBox:
                add(control(AccessibleRole::CheckBox, w, *spoken, kAccessibleCheckable | (w.checked == 1 ? kAccessibleChecked : 0u)), i);
                break;
            case kKindLink:
                if (!spoken->empty()) add(control(AccessibleRole::Link, w, *spoken, 0), i);
                break;
            case kKindLabel: {
                if (spoken->empty()) break;
                AccessibleNode n = node_of(AccessibleRole::Label, w, *spoken);
                n.parent = parent;
                add(std::move(n), i);
                break;
            }
            case kKindHitArea: {
                if (w.id == 0 || w.id == kHeaderBandId || !is_switch(i, 0)) break;
                AccessibleNode n = control(AccessibleRole::PushButton, w, w.accessible_name, 0);
                for (int j = 0; j < i; ++j) {
                    const WidgetRecord& label = record(j);
                    if (label.kind != kKindLabel || label.text.empty() || !inside(label, w)) continue;
                    if (n.name.empty()) {
                        n.name = label.text;
                    } else {
                        n.description += (n.description.empty() ? "" : ", ") + label.text;
                    }
                }
                add(std::move(n), i);
                break;
            }
            case kKindTextInput: {
                AccessibleNode n = node_of(w.secret ? AccessibleRole::PasswordText : AccessibleRole::Text, w,
                                           w.accessible_name.empty() ? field_label(i, 0, count) : w.accessible_name);
                n.parent = parent;
                n.value = field_shown_text(w);
                n.caret = std::clamp(w.caret, 0, static_cast<int>(w.text.size()));
                n.selection_start = std::clamp(std::min(w.sel_start, w.sel_end), 0, static_cast<int>(w.text.size()));
                n.selection_end = std::clamp(std::max(w.sel_start, w.sel_end), 0, static_cast<int>(w.text.size()));
                n.actions = kAccessibleSetText;
                n.states = kAccessibleFocusable | kAccessibleEditable | (i == focused ? kAccessibleFocused : 0u);
                add(std::move(n), i);
                break;
            }
            case kKindFilled: {
                // The progress popup's bar: its share of the frame before it.
                if (w.id == 0 || i == 0 || record(i - 1).kind != kKindFieldFrame) break;
                const WidgetRecord& frame = record(i - 1);
                const int full = std::max(1, frame.x2 - frame.x1 - 2);
                AccessibleNode n = node_of(AccessibleRole::ProgressBar, frame, "");
                n.parent = parent;
                n.value = std::to_string(std::clamp((w.x2 - w.x1) * 100 / full, 0, 100)) + "%";
                add(std::move(n), i);
                break;
            }
            default: {
                if (is_table_kind(w.kind)) {
                    AccessibleNode n = node_of(AccessibleRole::Table, w, w.accessible_name);
                    n.parent = parent;
                    n.actions = kAccessibleActivate;
                    n.states = kAccessibleFocusable;
                    const auto describer = describers().find(w.kind);
                    if (describer != describers().end()) {
                        AccessibleList list;
                        describer->second(w, list);
                        if (n.name.empty()) n.name = std::move(list.name);
                        n.columns = std::move(list.columns);
                        n.rows = std::move(list.rows);
                        n.has_check_column = list.has_check_column;
                        n.current_row = n.rows.empty() ? -1 : std::clamp(list.current_row, -1, static_cast<int>(n.rows.size()) - 1);
                    }
                    add(std::move(n), i);
                } else if (w.id != 0 && w.kind >= kFirstScreenKind && !spoken->empty()) {
                    // A kind a screen draws itself that answers clicks: a button to the listener.
                    add(control(AccessibleRole::PushButton, w, *spoken, 0), i);
                }
                break;
            }
        }
    }

    if (dialog >= 0) {
        AccessibleNode& d = tree.nodes[static_cast<std::size_t>(dialog)];
        int buttons = 0;
        bool interactive = false;
        std::string message;
        for (const AccessibleNode& n : tree.nodes) {
            if (n.parent != dialog) continue;
            if (n.role == AccessibleRole::PushButton) ++buttons;
            if (n.role == AccessibleRole::Text || n.role == AccessibleRole::PasswordText || n.role == AccessibleRole::Table) {
                interactive = true;
            }
            if (n.role == AccessibleRole::Label) {
                if (d.name.empty()) d.name = n.name;
                message += (message.empty() ? "" : " ") + n.name;
            }
        }
        if (buttons == 1 && !interactive) {
            d.role = AccessibleRole::Alert;
            d.description = message;
        }
    }

    // The focus: the field being typed in; else in a popup the button Enter
    // presses; else the list the arrow keys move in; else the current tab.
    for (std::size_t k = 0; k < tree.nodes.size() && tree.focus < 0; ++k) {
        if (tree.nodes[k].states & kAccessibleFocused) tree.focus = static_cast<int>(k);
    }
    for (std::size_t k = 0; k < tree.nodes.size() && tree.focus < 0 && dialog >= 0; ++k) {
        if (tree.nodes[k].states & kAccessibleDefault) tree.focus = static_cast<int>(k);
    }
    for (std::size_t k = 0; k < tree.nodes.size() && tree.focus < 0; ++k) {
        if (tree.nodes[k].role == AccessibleRole::Table) tree.focus = static_cast<int>(k);
    }
    for (std::size_t k = 0; k < tree.nodes.size() && tree.focus < 0; ++k) {
        const AccessibleNode& n = tree.nodes[k];
        if ((n.role == AccessibleRole::PageTab && (n.states & kAccessibleSelected)) ||
            (dialog >= 0 && n.role == AccessibleRole::PushButton)) {
            tree.focus = static_cast<int>(k);
        }
    }
    if (tree.focus >= 0) tree.nodes[static_cast<std::size_t>(tree.focus)].states |= kAccessibleFocused;

    // Keys: the same widget in the same place keeps the key it had.
    const int screen = main_window().current_screen;
    const int popup = dialog >= 0 || (count > 0 && record(0).kind == kKindSavedImage) ? popups_opened() : 0;
    std::unordered_map<std::uint64_t, int> ordinals;
    std::unordered_map<std::uint64_t, std::uint32_t> keys;
    std::unordered_set<std::uint32_t> used;
    keys.reserve(tree.nodes.size());
    for (std::size_t k = 0; k < tree.nodes.size(); ++k) {
        AccessibleNode& n = tree.nodes[k];
        const int index = widget_index[k];
        const int id = index >= 0 ? record(index).id : 0;
        const std::uint64_t base = signature(screen, popup, n.role, id, 0);
        const std::uint64_t sig = signature(screen, popup, n.role, id, ordinals[base]++);
        const auto known = g_keys.find(sig);
        std::uint32_t key = known != g_keys.end() ? known->second : 0;
        if (key == 0 || used.count(key) != 0) key = g_next_key++;
        used.insert(key);
        keys[sig] = key;
        n.key = key;
    }
    if (widget_of) {
        g_keys = std::move(keys);
        *widget_of = std::move(widget_index);
    }
    return tree;
}

void accessible_tree_changed() { g_stale = true; }

void forget_accessible_tree() {
    g_stale = true;
    g_published.reset();
    g_published_widgets.clear();
    g_pending = PendingText{};
}

void publish_accessible_tree() {
    AccessibilityService& service = accessibility_service();
    if (!service.listening()) {
        // Whoever listens next is told everything afresh.
        if (g_published) forget_accessible_tree();
        g_stale = true;
        return;
    }
    if (!g_stale && g_published) return;
    g_stale = false;
    std::vector<int> widget_index;
    auto tree = std::make_shared<AccessibleTree>(describe_widgets(&widget_index));
    tree->serial = ++g_serial;

    std::vector<AccessibleChange> changes;
    const AccessibleTree* before = g_published.get();
    std::unordered_map<std::uint32_t, const AccessibleNode*> old;
    std::uint32_t old_dialog = 0, new_dialog = 0;
    if (before) {
        old.reserve(before->nodes.size());
        for (const AccessibleNode& n : before->nodes) {
            old[n.key] = &n;
            if (n.role == AccessibleRole::Dialog || n.role == AccessibleRole::Alert) old_dialog = n.key;
        }
    }
    for (const AccessibleNode& n : tree->nodes) {
        if (n.role == AccessibleRole::Dialog || n.role == AccessibleRole::Alert) new_dialog = n.key;
        const auto it = old.find(n.key);
        if (it == old.end()) continue;
        const AccessibleNode& o = *it->second;
        if (o.name != n.name) changes.push_back({AccessibleChange::Name, n.key});
        if (o.value != n.value) changes.push_back({AccessibleChange::Value, n.key});
        if (o.caret != n.caret || o.selection_start != n.selection_start || o.selection_end != n.selection_end) {
            changes.push_back({AccessibleChange::Caret, n.key});
        }
        constexpr unsigned kShownStates = kAccessibleChecked | kAccessibleSelected;
        if ((o.states & kShownStates) != (n.states & kShownStates)) changes.push_back({AccessibleChange::State, n.key});
        if (o.current_row != n.current_row) changes.push_back({AccessibleChange::CurrentRow, n.key});
        if (o.rows.size() != n.rows.size() ||
            !std::equal(o.rows.begin(), o.rows.end(), n.rows.begin(), [](const AccessibleRow& a, const AccessibleRow& b) {
                return a.cells == b.cells && a.checked == b.checked;
            })) {
            changes.push_back({AccessibleChange::Rows, n.key});
        }
    }
    if (old_dialog != new_dialog) {
        if (old_dialog != 0) changes.push_back({AccessibleChange::DialogClosed, old_dialog});
        if (new_dialog != 0) changes.push_back({AccessibleChange::DialogOpened, new_dialog});
    }
    const AccessibleNode* focus_now = tree->focus >= 0 ? &tree->nodes[static_cast<std::size_t>(tree->focus)] : nullptr;
    const AccessibleNode* focus_before =
        before && before->focus >= 0 ? &before->nodes[static_cast<std::size_t>(before->focus)] : nullptr;
    if (focus_now && (!focus_before || focus_before->key != focus_now->key ||
                      (focus_now->role == AccessibleRole::Table && focus_before->current_row != focus_now->current_row))) {
        changes.push_back({AccessibleChange::Focus, focus_now->key});
    }
    g_published = tree;
    g_published_widgets = std::move(widget_index);
    service.update(std::move(tree), changes);
}

bool take_accessible_action() {
    AccessibilityService& service = accessibility_service();
    if (!service.listening()) return false;
    if (g_pending.key != 0) {
        // The click on the field has had its turn: the text goes in once the field has the focus.
        const int index = widget_of_key(g_pending.key);
        if (index >= 0 && index == focused_field()) {
            apply_text(index, g_pending.text);
            g_pending = PendingText{};
        } else if (input().button == 0) {
            g_pending = PendingText{};
        }
        return false;
    }
    // One click at a time: the next waits until this one's button is up.
    if (input().button != 0) return false;
    AccessibleAction action;
    if (!service.take_action(action)) return false;
    int node_at = -1;
    const int index = widget_of_key(action.key, &node_at);
    if (index < 0 || index >= kMaxWidgets || record(index).id == kEndMarker) return false;
    const AccessibleNode& node = g_published->nodes[static_cast<std::size_t>(node_at)];
    const WidgetRecord& w = record(index);
    switch (action.kind) {
        case AccessibleAction::SetText:
            if ((node.actions & kAccessibleSetText) == 0) return false;
            if (index == focused_field()) {
                apply_text(index, action.text);
                return false;
            }
            g_pending = PendingText{action.key, action.text};
            synthetic_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2);
            return true;
        case AccessibleAction::Activate:
            if (node.role == AccessibleRole::Table) {
                if (action.row < 0 || action.row >= static_cast<int>(node.rows.size())) return false;
                const Rect& r = node.rows[static_cast<std::size_t>(action.row)].bounds;
                const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
                // A row scrolled out of view cannot be clicked; the client sees it is not showing.
                if (!w.contains(x, y)) return false;
                synthetic_click(x, y);
                return true;
            }
            [[fallthrough]];
        case AccessibleAction::Press:
            if ((node.actions & (kAccessiblePress | kAccessibleActivate)) == 0) return false;
            synthetic_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2);
            return true;
    }
    return false;
}

}  // namespace domora
