// The widget description as Qt accessible objects. The window's object is
// made by our factory for the main window; every node, table cell and column
// heading is an accessible interface of its own that reads the newest
// description by its key, so an object a client holds stays valid for as
// long as its widget is shown. Actions are queued for the event wait.
#include "platform/qt/qt_accessibility.h"

#include <QtGui/QAccessible>
#include <QtGui/QWindow>
#include <algorithm>
#include <unordered_set>

#include "platform/qt/qt_accessible_service.h"

namespace domora {

namespace qt_access {
QtAccessibility* g_service = nullptr;
}  // namespace qt_access

namespace {

using namespace qt_access;

void notify(QAccessibleInterface* iface, QAccessible::Event what) {
    if (!iface) return;
    QAccessibleEvent e(iface, what);
    QAccessible::updateAccessibility(&e);
}

QAccessible::Role qt_role(AccessibleRole role) {
    switch (role) {
        case AccessibleRole::Frame: return QAccessible::Window;
        case AccessibleRole::PageTabList: return QAccessible::PageTabList;
        case AccessibleRole::PageTab: return QAccessible::PageTab;
        case AccessibleRole::PushButton: return QAccessible::Button;
        case AccessibleRole::CheckBox: return QAccessible::CheckBox;
        case AccessibleRole::Link: return QAccessible::Link;
        case AccessibleRole::Label: return QAccessible::StaticText;
        case AccessibleRole::Text:
        case AccessibleRole::PasswordText: return QAccessible::EditableText;
        case AccessibleRole::Dialog: return QAccessible::Dialog;
        case AccessibleRole::Alert: return QAccessible::AlertMessage;
        case AccessibleRole::Table: return QAccessible::Table;
        case AccessibleRole::ProgressBar: return QAccessible::ProgressBar;
    }
    return QAccessible::NoRole;
}

class NodeInterface;

// ---- a node -------------------------------------------------------------------------------------------

class NodeInterface : public QAccessibleInterface,
                      public QAccessibleActionInterface,
                      public QAccessibleTextInterface,
                      public QAccessibleEditableTextInterface,
                      public QAccessibleTableInterface,
                      public QAccessibleValueInterface {
public:
    explicit NodeInterface(std::uint32_t key) : m_key(key) {}

    const AccessibleNode* node() const { return g_service ? g_service->node(m_key) : nullptr; }
    std::uint32_t key() const { return m_key; }

    // ---- QAccessibleInterface
    bool isValid() const override { return node() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return g_service ? g_service->window() : nullptr; }
    QAccessibleInterface* parent() const override {
        const AccessibleNode* n = node();
        return n ? g_service->parent_of(*n) : nullptr;
    }
    int childCount() const override {
        const AccessibleNode* n = node();
        if (!n) return 0;
        if (n->role == AccessibleRole::Table) return static_cast<int>(n->columns.size() * (n->rows.size() + 1));
        return static_cast<int>(g_service->children(m_key).size());
    }
    QAccessibleInterface* child(int index) const override {
        const AccessibleNode* n = node();
        if (!n || index < 0 || index >= childCount()) return nullptr;
        if (n->role == AccessibleRole::Table) {
            // The headings first, then the cells row by row.
            const int columns = static_cast<int>(n->columns.size());
            if (index < columns) return g_service->heading(m_key, index);
            return g_service->cell(m_key, index / columns - 1, index % columns);
        }
        return g_service->interface_of(g_service->children(m_key)[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface* c = child(i);
            if (c && c->rect().contains(x, y)) return c;
        }
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override;
    QString text(QAccessible::Text t) const override {
        const AccessibleNode* n = node();
        if (!n) return {};
        switch (t) {
            case QAccessible::Name: return qt_text(n->name);
            case QAccessible::Description: return qt_text(n->description);
            case QAccessible::Value: return qt_text(n->value);
            default: return {};
        }
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Value) replace(text);
    }
    QRect rect() const override {
        const AccessibleNode* n = node();
        return n ? g_service->on_screen(n->bounds) : QRect();
    }
    QAccessible::Role role() const override {
        const AccessibleNode* n = node();
        return n ? qt_role(n->role) : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        const AccessibleNode* n = node();
        if (!n) {
            s.invalid = true;
            return s;
        }
        s.focusable = (n->states & kAccessibleFocusable) != 0;
        s.focused = (n->states & kAccessibleFocused) != 0;
        s.selectable = n->role == AccessibleRole::PageTab;
        s.selected = (n->states & kAccessibleSelected) != 0;
        s.checkable = (n->states & kAccessibleCheckable) != 0;
        s.checked = (n->states & kAccessibleChecked) != 0;
        s.defaultButton = (n->states & kAccessibleDefault) != 0;
        s.pressed = (n->states & kAccessiblePressed) != 0;
        s.editable = (n->states & kAccessibleEditable) != 0;
        s.readOnly = !s.editable && (n->role == AccessibleRole::Label);
        s.passwordEdit = n->role == AccessibleRole::PasswordText;
        s.modal = n->role == AccessibleRole::Dialog || n->role == AccessibleRole::Alert;
        // The popup is the window's active part while it shows.
        s.active = s.modal;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        const AccessibleNode* n = node();
        if (!n) return nullptr;
        const bool text = n->role == AccessibleRole::Text || n->role == AccessibleRole::PasswordText;
        switch (type) {
            case QAccessible::ActionInterface:
                return (n->actions & (kAccessiblePress | kAccessibleActivate)) ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
            case QAccessible::TextInterface: return text ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
            case QAccessible::EditableTextInterface: return text ? static_cast<QAccessibleEditableTextInterface*>(this) : nullptr;
            case QAccessible::TableInterface:
                return n->role == AccessibleRole::Table ? static_cast<QAccessibleTableInterface*>(this) : nullptr;
            case QAccessible::ValueInterface:
                return n->role == AccessibleRole::ProgressBar ? static_cast<QAccessibleValueInterface*>(this) : nullptr;
            default: return nullptr;
        }
    }

    // ---- actions
    QStringList actionNames() const override {
        const AccessibleNode* n = node();
        if (!n || (n->actions & kAccessiblePress) == 0) return {};
        return {pressAction()};
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && g_service) g_service->queue({AccessibleAction::Press, m_key, -1, {}});
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // ---- text: what the field shows, caret and selection in characters
    QString field_text() const {
        const AccessibleNode* n = node();
        return n ? qt_text(n->value) : QString();
    }
    void selection(int index, int* start, int* end) const override {
        const AccessibleNode* n = node();
        *start = *end = 0;
        if (n && index == 0 && n->selection_start != n->selection_end) {
            *start = n->selection_start;
            *end = n->selection_end;
        }
    }
    int selectionCount() const override {
        const AccessibleNode* n = node();
        return n && n->selection_start != n->selection_end ? 1 : 0;
    }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override {
        const AccessibleNode* n = node();
        return n ? n->caret : 0;
    }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        const QString all = field_text();
        start = std::clamp(start, 0, static_cast<int>(all.size()));
        end = end < 0 ? static_cast<int>(all.size()) : std::clamp(end, start, static_cast<int>(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(field_text().size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = 0;
        *end = std::max(offset, characterCount());
        return {};
    }

    // ---- editable text: the new contents go to the event wait as one text
    void deleteText(int start, int end) override { edit(start, end, QString()); }
    void insertText(int offset, const QString& text) override { edit(offset, offset, text); }
    void replaceText(int start, int end, const QString& text) override { edit(start, end, text); }

    // ---- table
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        const AccessibleNode* n = node();
        if (!n || row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return nullptr;
        return g_service->cell(m_key, row, column);
    }
    int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> out;
        const AccessibleNode* n = node();
        if (!n || n->current_row < 0) return out;
        for (int c = 0; c < columnCount(); ++c) out.append(cellAt(n->current_row, c));
        return out;
    }
    QString columnDescription(int column) const override {
        const AccessibleNode* n = node();
        return n && column >= 0 && column < columnCount() ? qt_text(n->columns[static_cast<std::size_t>(column)]) : QString();
    }
    int columnCount() const override {
        const AccessibleNode* n = node();
        return n ? static_cast<int>(n->columns.size()) : 0;
    }
    QString rowDescription(int) const override { return {}; }
    int rowCount() const override {
        const AccessibleNode* n = node();
        return n ? static_cast<int>(n->rows.size()) : 0;
    }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override {
        const AccessibleNode* n = node();
        return n && n->current_row >= 0 ? 1 : 0;
    }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override {
        const AccessibleNode* n = node();
        if (!n || n->current_row < 0) return {};
        return {n->current_row};
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override {
        const AccessibleNode* n = node();
        return n && row == n->current_row;
    }
    // Choosing a row is a click on it.
    bool selectRow(int row) override {
        if (row < 0 || row >= rowCount()) return false;
        g_service->queue({AccessibleAction::Activate, m_key, row, {}});
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

    // ---- value: a progress bar's percentage
    QVariant currentValue() const override { return field_text().remove(QLatin1Char('%')).toInt(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    void replace(const QString& text) {
        if (g_service) g_service->queue({AccessibleAction::SetText, m_key, -1, our_text(text)});
    }
    void edit(int start, int end, const QString& text) {
        const AccessibleNode* n = node();
        if (!n) return;
        const QString shown = field_text();
        start = std::clamp(start, 0, static_cast<int>(shown.size()));
        end = end < 0 ? static_cast<int>(shown.size()) : std::clamp(end, start, static_cast<int>(shown.size()));
        // A secret's characters are not known here: only the whole of it can be replaced.
        if (n->role == AccessibleRole::PasswordText && (start != 0 || end != static_cast<int>(shown.size()))) return;
        QString next = shown;
        next.replace(start, end - start, text);
        replace(next);
    }

    std::uint32_t m_key;
};

int NodeInterface::indexOfChild(const QAccessibleInterface* child) const {
    const AccessibleNode* n = node();
    if (!n || !child) return -1;
    if (n->role == AccessibleRole::Table) {
        if (child->role() == QAccessible::ColumnHeader || child->role() == QAccessible::Cell) {
            for (int i = 0; i < childCount(); ++i) {
                if (this->child(i) == child) return i;
            }
        }
        return -1;
    }
    const std::vector<std::uint32_t>& keys = g_service->children(m_key);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (g_service->interface_of(keys[i]) == child) return static_cast<int>(i);
    }
    return -1;
}

QAccessibleInterface* NodeInterface::focusChild() const {
    const AccessibleNode* n = node();
    if (!n) return nullptr;
    if (n->role == AccessibleRole::Table) return n->current_row >= 0 && !n->columns.empty() ? cellAt(n->current_row, 0) : nullptr;
    const AccessibleTree* tree = g_service->tree();
    if (!tree || tree->focus < 0) return nullptr;
    const std::uint32_t focus = tree->nodes[static_cast<std::size_t>(tree->focus)].key;
    for (std::uint32_t key : g_service->children(m_key)) {
        if (key == focus) return g_service->interface_of(key);
    }
    return nullptr;
}

}  // namespace

namespace qt_access {

// ---- the service's work ---------------------------------------------------------------------------------

QtAccessibility::QtAccessibility() {
    g_service = this;
    QAccessible::installFactory(make_root);
}

QtAccessibility::~QtAccessibility() {
    QAccessible::removeFactory(make_root);
    for (const auto& [key, id] : m_nodes) QAccessible::deleteAccessibleInterface(id);
    for (const auto& [where, id] : m_cells) QAccessible::deleteAccessibleInterface(id);
    m_nodes.clear();
    m_cells.clear();
    g_service = nullptr;
}

QAccessibleInterface* QtAccessibility::interface_of(std::uint32_t key) {
    if (!node(key)) return nullptr;
    const auto it = m_nodes.find(key);
    if (it != m_nodes.end()) return QAccessible::accessibleInterface(it->second);
    auto* made = new NodeInterface(key);
    m_nodes[key] = QAccessible::registerAccessibleInterface(made);
    return made;
}

QAccessibleInterface* QtAccessibility::cell(std::uint32_t table, int row, int column) {
    const auto where = std::make_tuple(table, row, column);
    const auto it = m_cells.find(where);
    if (it != m_cells.end()) return QAccessible::accessibleInterface(it->second);
    auto* made = new_cell_interface(table, row, column);
    m_cells[where] = QAccessible::registerAccessibleInterface(made);
    return made;
}

QAccessibleInterface* QtAccessibility::heading(std::uint32_t table, int column) { return cell(table, -1, column); }

void QtAccessibility::forget(std::uint32_t key) {
    const auto it = m_nodes.find(key);
    if (it == m_nodes.end()) return;
    QAccessible::deleteAccessibleInterface(it->second);
    m_nodes.erase(it);
}

// Drops the cells of a table beyond its rows and columns (all of them for rows < 0).
void QtAccessibility::forget_cells(std::uint32_t table, int rows, int columns) {
    for (auto it = m_cells.lower_bound(std::make_tuple(table, -1, -1)); it != m_cells.end() && std::get<0>(it->first) == table;) {
        const int row = std::get<1>(it->first), column = std::get<2>(it->first);
        if (rows < 0 || row >= rows || column >= columns) {
            QAccessible::deleteAccessibleInterface(it->second);
            it = m_cells.erase(it);
        } else {
            ++it;
        }
    }
}

void QtAccessibility::update(std::shared_ptr<const AccessibleTree> tree, const std::vector<AccessibleChange>& changes) {
    if (!tree) return;
    const bool active = QAccessible::isActive();
    std::unordered_set<std::uint32_t> next;
    next.reserve(tree->nodes.size());
    for (const AccessibleNode& n : tree->nodes) next.insert(n.key);

    // Nodes that go are announced while the description still has them.
    std::vector<std::uint32_t> gone;
    if (m_tree) {
        for (const AccessibleNode& n : m_tree->nodes) {
            if (next.count(n.key) != 0) continue;
            gone.push_back(n.key);
            const bool parent_stays = n.parent < 0 || next.count(m_tree->nodes[static_cast<std::size_t>(n.parent)].key) != 0;
            const auto it = m_nodes.find(n.key);
            if (active && parent_stays && it != m_nodes.end()) notify(QAccessible::accessibleInterface(it->second), QAccessible::ObjectDestroyed);
        }
    }
    std::unordered_set<std::uint32_t> before;
    if (m_tree) {
        for (const AccessibleNode& n : m_tree->nodes) before.insert(n.key);
    }
    const std::shared_ptr<const AccessibleTree> old = m_tree;
    m_tree = std::move(tree);
    m_children.clear();
    for (const AccessibleNode& n : m_tree->nodes) {
        const std::uint32_t parent = n.parent < 0 ? 0 : m_tree->nodes[static_cast<std::size_t>(n.parent)].key;
        m_children[parent].push_back(n.key);
    }
    for (std::uint32_t key : gone) {
        forget(key);
        forget_cells(key, -1, -1);
    }
    for (const AccessibleNode& n : m_tree->nodes) {
        if (n.role == AccessibleRole::Table) forget_cells(n.key, static_cast<int>(n.rows.size()), static_cast<int>(n.columns.size()));
    }
    if (!active) return;

    // New nodes are announced where they join what was there.
    for (const AccessibleNode& n : m_tree->nodes) {
        if (before.count(n.key) != 0) continue;
        const bool parent_new = n.parent >= 0 && before.count(m_tree->nodes[static_cast<std::size_t>(n.parent)].key) == 0;
        if (parent_new) continue;
        notify(interface_of(n.key), QAccessible::ObjectCreated);
    }
    for (const AccessibleChange& change : changes) {
        const AccessibleNode* n = node(change.key);
        QAccessibleInterface* iface = n ? interface_of(change.key) : nullptr;
        const AccessibleNode* was = old ? old->find(change.key) : nullptr;
        switch (change.kind) {
            case AccessibleChange::Name: notify(iface, QAccessible::NameChanged); break;
            case AccessibleChange::Value: {
                if (!iface) break;
                if (n->role == AccessibleRole::ProgressBar) {
                    QAccessibleValueChangeEvent e(iface, static_cast<NodeInterface*>(iface)->currentValue());
                    QAccessible::updateAccessibility(&e);
                } else if (n->role == AccessibleRole::Text || n->role == AccessibleRole::PasswordText) {
                    QAccessibleTextUpdateEvent e(iface, 0, was ? qt_text(was->value) : QString(), qt_text(n->value));
                    QAccessible::updateAccessibility(&e);
                }
                break;
            }
            case AccessibleChange::Caret: {
                if (!iface || (n->role != AccessibleRole::Text && n->role != AccessibleRole::PasswordText)) break;
                QAccessibleTextCursorEvent e(iface, n->caret);
                QAccessible::updateAccessibility(&e);
                break;
            }
            case AccessibleChange::State: {
                if (!iface) break;
                QAccessible::State changed;
                changed.checked = true;
                if (n->role == AccessibleRole::PageTab) {
                    notify(iface, QAccessible::Selection);
                } else {
                    QAccessibleStateChangeEvent e(iface, changed);
                    QAccessible::updateAccessibility(&e);
                }
                break;
            }
            case AccessibleChange::CurrentRow: {
                if (n && n->current_row >= 0 && !n->columns.empty()) notify(cell(change.key, n->current_row, 0), QAccessible::Selection);
                break;
            }
            case AccessibleChange::DialogOpened: notify(iface, QAccessible::ObjectShow); break;
            case AccessibleChange::Focus: {
                if (!iface) break;
                QAccessibleInterface* target = iface;
                if (n->role == AccessibleRole::Table && n->current_row >= 0 && !n->columns.empty()) {
                    target = cell(change.key, n->current_row, 0);
                }
                notify(target, QAccessible::Focus);
                break;
            }
            case AccessibleChange::DialogClosed:
            case AccessibleChange::Rows: break;
        }
    }
}

}  // namespace qt_access

std::unique_ptr<AccessibilityService> make_qt_accessibility_service() { return std::make_unique<qt_access::QtAccessibility>(); }

}  // namespace domora
