// What assistive technology (a screen reader, an automation tool) is told
// about the window: a plain description of every widget, and the actions such
// a client asks for. The toolkit fills the description from its widget table
// after each rebuild; the Qt backend turns it into accessible objects on the
// desktop's accessibility bus, the headless one keeps it for tests.
//
// Texts are Windows-1252 byte strings, as everywhere in the platform layer;
// rectangles are in logical pixels of the client area.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace domora {

enum class AccessibleRole {
    Frame,         // the window itself (the tree's root, not a node)
    PageTabList,
    PageTab,
    PushButton,
    CheckBox,
    Link,
    Label,
    Text,          // an editable single-line field
    PasswordText,  // the same for a secret; its characters are never given out
    Dialog,
    Alert,         // a dialog that only tells something and has one button
    Table,         // a list of records: rows of cells
    ProgressBar,
};

// States, as bits.
enum : unsigned {
    kAccessibleFocused = 1u << 0,
    kAccessibleFocusable = 1u << 1,
    kAccessibleSelected = 1u << 2,   // the current tab
    kAccessibleCheckable = 1u << 3,
    kAccessibleChecked = 1u << 4,
    kAccessibleEditable = 1u << 5,
    kAccessibleDefault = 1u << 6,    // the button Enter presses
    kAccessiblePressed = 1u << 7,
};

// Actions a client may ask for, as bits.
enum : unsigned {
    kAccessiblePress = 1u << 0,    // buttons, tabs, check boxes, links
    kAccessibleActivate = 1u << 1, // a table's rows
    kAccessibleSetText = 1u << 2,  // text fields
};

struct AccessibleRow {
    std::vector<std::string> cells;  // one per column
    Rect bounds;                     // where the row is drawn; outside the table when scrolled away
    bool checked = false;            // the row's own check box, for lists that have one
};

struct AccessibleNode {
    std::uint32_t key = 0;  // the same widget keeps its key from one description to the next
    int parent = -1;        // index of the parent node; -1 for the window
    AccessibleRole role = AccessibleRole::Label;
    std::string name;
    std::string value;        // a field's text (bullets for a secret), a progress bar's percentage
    std::string description;  // what a caption leaves unsaid (an alert's whole message, a drop-down's hint)
    Rect bounds;
    unsigned states = 0;
    unsigned actions = 0;
    int caret = 0;  // text fields: caret and selection, in characters
    int selection_start = 0;
    int selection_end = 0;
    bool has_check_column = false;     // tables whose rows carry a check box
    std::vector<std::string> columns;  // tables: the column headings
    std::vector<AccessibleRow> rows;
    int current_row = -1;
};

struct AccessibleTree {
    std::string window_name;
    std::vector<AccessibleNode> nodes;  // parents before their children
    int focus = -1;                     // index of the node that takes keys now, or -1
    std::uint64_t serial = 0;           // counts the descriptions given

    // The node with this key, or null.
    const AccessibleNode* find(std::uint32_t key) const;
    int index_of(std::uint32_t key) const;
};

// What changed since the description before, for the client's events.
struct AccessibleChange {
    enum Kind {
        Focus,         // the node (and for a table its current row) takes keys now
        Name,
        Value,         // a field's text, a progress bar's value
        Caret,         // a field's caret or selection moved
        State,         // checked or selected changed
        CurrentRow,    // a table's current row changed
        DialogOpened,
        DialogClosed,  // key is the dialog of the description before
        Rows,          // a table's rows changed
    };
    Kind kind = Focus;
    std::uint32_t key = 0;
};

// What a client asked for, to be acted on as the user's click or typing.
struct AccessibleAction {
    enum Kind { Press, Activate, SetText };
    Kind kind = Press;
    std::uint32_t key = 0;  // the node
    int row = -1;           // Activate: the table's row
    std::string text;       // SetText: the field's new contents
};

class AccessibilityService {
public:
    virtual ~AccessibilityService() = default;
    // True while an assistive client listens; nothing is described otherwise.
    virtual bool listening() = 0;
    // The window's description after a rebuild, and what changed since the last one.
    virtual void update(std::shared_ptr<const AccessibleTree> tree, const std::vector<AccessibleChange>& changes) = 0;
    // The oldest action a client asked for and nobody took yet; false when there is none.
    virtual bool take_action(AccessibleAction& action) = 0;
};

// The service in use; one that never listens until a backend sets its own.
AccessibilityService& accessibility_service();
void set_accessibility_service(AccessibilityService* service);

}  // namespace domora
