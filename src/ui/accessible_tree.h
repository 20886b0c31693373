// The widget table as a screen reader hears it: after each rebuild, while an
// assistive client listens, every widget record is described (role, name,
// value, states, bounds, actions; for lists the rows from the lists' own
// data) and handed to the platform's accessibility service with what
// changed. What the client asks for comes back through the event wait as the
// user's click or typing would. With no client listening nothing is built.
#pragma once

#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "ui/widgets.h"

namespace domora {

// What a list shows, from the data behind it.
struct AccessibleList {
    std::string name;
    std::vector<std::string> columns;
    std::vector<AccessibleRow> rows;
    int current_row = -1;
    bool has_check_column = false;
};
using ListDescriber = void (*)(const WidgetRecord& list, AccessibleList& out);
// Each list kind's describer, installed where its drawer is.
void set_list_describer(int kind, ListDescriber describer);
// Row `row` of a list whose rows of `height` pixels start at `top`,
// scrolled by `scroll_offset`, across the list's width.
Rect list_row_bounds(const WidgetRecord& list, int top, int row, int height, int scroll_offset);

// The table as it stands, described; widget_of (when given) receives the
// widget index of each node (-1 for the nodes that stand for a group).
AccessibleTree describe_widgets(std::vector<int>* widget_of = nullptr);

// The drawing layer calls this whenever a widget is drawn: the description
// is out of date.
void accessible_tree_changed();
// Forgets what was given, so that the next description is told from scratch.
void forget_accessible_tree();
// Gives the service a fresh description when it is out of date and a client listens.
void publish_accessible_tree();
// Takes the oldest action a client asked for and turns it into input: a
// click at the widget (or the table's row), or the new text of a field.
// True when it made a click, which this turn then handles as its press.
bool take_accessible_action();

}  // namespace domora
