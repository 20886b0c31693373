// The window's accessible object, made by our factory, and the cells and
// column headings of the tables, which read the newest description through
// the service by their table's key.
#include <QtGui/QAccessibleObject>
#include <QtGui/QGuiApplication>

#include "platform/qt/qt_accessible_service.h"

namespace domora::qt_access {

namespace {

class RootInterface : public QAccessibleObject {
public:
    explicit RootInterface(QWindow* window) : QAccessibleObject(window) {}

    QWindow* window() const override { return static_cast<QWindow*>(object()); }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(qApp); }
    int childCount() const override { return g_service ? static_cast<int>(g_service->children(0).size()) : 0; }
    QAccessibleInterface* child(int index) const override {
        if (!g_service || index < 0 || index >= childCount()) return nullptr;
        return g_service->interface_of(g_service->children(0)[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (this->child(i) == child) return i;
        }
        return -1;
    }
    QAccessibleInterface* focusChild() const override {
        const AccessibleTree* tree = g_service ? g_service->tree() : nullptr;
        if (!tree || tree->focus < 0) return nullptr;
        return g_service->interface_of(tree->nodes[static_cast<std::size_t>(tree->focus)].key);
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = childCount() - 1; i >= 0; --i) {
            QAccessibleInterface* c = child(i);
            if (c && c->rect().contains(x, y)) return c;
        }
        return nullptr;
    }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name) return {};
        const AccessibleTree* tree = g_service ? g_service->tree() : nullptr;
        return tree ? qt_text(tree->window_name) : window()->title();
    }
    QRect rect() const override { return window()->geometry(); }
    QAccessible::Role role() const override { return QAccessible::Window; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.active = window()->isActive();
        s.focused = window()->isActive();
        s.invisible = !window()->isVisible();
        return s;
    }
};

class CellInterface : public QAccessibleInterface, public QAccessibleTableCellInterface, public QAccessibleActionInterface {
public:
    CellInterface(std::uint32_t table, int row, int column) : m_table(table), m_row(row), m_column(column) {}

    const AccessibleNode* table_node() const { return g_service ? g_service->node(m_table) : nullptr; }
    const AccessibleRow* row() const {
        const AccessibleNode* t = table_node();
        if (!t || m_row >= static_cast<int>(t->rows.size()) || m_column >= static_cast<int>(t->columns.size())) return nullptr;
        return m_row < 0 ? nullptr : &t->rows[static_cast<std::size_t>(m_row)];
    }
    bool heading() const { return m_row < 0; }

    bool isValid() const override {
        const AccessibleNode* t = table_node();
        return t && m_column < static_cast<int>(t->columns.size()) && (heading() || row() != nullptr);
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return g_service ? g_service->window() : nullptr; }
    QAccessibleInterface* parent() const override { return g_service ? g_service->interface_of(m_table) : nullptr; }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name) return {};
        const AccessibleNode* n = table_node();
        if (!n || !isValid()) return {};
        if (heading()) return qt_text(n->columns[static_cast<std::size_t>(m_column)]);
        return qt_text(row()->cells[static_cast<std::size_t>(m_column)]);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const AccessibleNode* n = table_node();
        if (!n || !isValid() || n->columns.empty()) return QRect();
        // The columns share the row's width; a heading sits just above the list.
        Rect r = heading() ? Rect{n->bounds.left, n->bounds.top - 20, n->bounds.right, n->bounds.top} : row()->bounds;
        const int width = (r.right - r.left) / static_cast<int>(n->columns.size());
        r.left += width * m_column;
        r.right = r.left + width;
        return g_service->on_screen(r);
    }
    QAccessible::Role role() const override { return heading() ? QAccessible::ColumnHeader : QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State s;
        const AccessibleNode* n = table_node();
        if (!n || !isValid()) {
            s.invalid = true;
            return s;
        }
        if (heading()) return s;
        s.selectable = true;
        s.selected = m_row == n->current_row;
        s.focusable = true;
        s.focused = s.selected && (n->states & kAccessibleFocused) != 0;
        const Rect& r = row()->bounds;
        s.invisible = r.bottom <= n->bounds.top || r.top >= n->bounds.bottom;
        s.offscreen = s.invisible;
        if (m_column == 0 && n->has_check_column) {
            s.checkable = true;
            s.checked = row()->checked;
        }
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface && !heading()) return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface && !heading()) return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // ---- cell
    bool isSelected() const override {
        const AccessibleNode* n = table_node();
        return n && m_row == n->current_row;
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        if (!g_service) return {};
        return {g_service->heading(m_table, m_column)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    // ---- the row's click
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && g_service) g_service->queue({AccessibleAction::Activate, m_table, m_row, {}});
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    std::uint32_t m_table;
    int m_row;
    int m_column;
};

}  // namespace

QAccessibleInterface* make_root(const QString& key, QObject* object) {
    // The main window has no meta-object of its own; it is the only raster window.
    if (!g_service || key != QStringLiteral("QRasterWindow") || !object || !object->isWindowType()) return nullptr;
    auto* window = static_cast<QWindow*>(object);
    g_service->set_window(window);
    return new RootInterface(window);
}

QAccessibleInterface* new_cell_interface(std::uint32_t table, int row, int column) { return new CellInterface(table, row, column); }

}  // namespace domora::qt_access
