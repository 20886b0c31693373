// The accessibility service's own parts, shared by the files that make its
// accessible objects: the service that holds the newest description, and
// the window's, the cells' and the headings' interfaces.
#pragma once

#include <QtGui/QAccessible>
#include <QtGui/QWindow>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/accessibility.h"
#include "platform/cp1252.h"

namespace domora::qt_access {

inline QString qt_text(const std::string& bytes) { return QString::fromStdString(cp1252_to_utf8(bytes)); }
inline std::string our_text(const QString& text) { return utf8_to_cp1252(text.toStdString()); }

class QtAccessibility : public AccessibilityService {
public:
    QtAccessibility();
    ~QtAccessibility() override;

    bool listening() override { return QAccessible::isActive(); }
    void update(std::shared_ptr<const AccessibleTree> tree, const std::vector<AccessibleChange>& changes) override;
    bool take_action(AccessibleAction& action) override {
        if (m_actions.empty()) return false;
        action = std::move(m_actions.front());
        m_actions.pop_front();
        return true;
    }

    void queue(AccessibleAction action) { m_actions.push_back(std::move(action)); }

    const AccessibleTree* tree() const { return m_tree.get(); }
    const AccessibleNode* node(std::uint32_t key) const { return m_tree ? m_tree->find(key) : nullptr; }
    QWindow* window() const { return m_window; }
    void set_window(QWindow* window) { m_window = window; }
    // Client-area pixels to the screen's.
    QRect on_screen(const Rect& r) const {
        const QPoint origin = m_window ? m_window->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
        return QRect(origin.x() + r.left, origin.y() + r.top, r.right - r.left, r.bottom - r.top);
    }

    QAccessibleInterface* root() const { return m_window ? QAccessible::queryAccessibleInterface(m_window) : nullptr; }
    // The interface of a node (made on first use), of a cell, of a heading.
    QAccessibleInterface* interface_of(std::uint32_t key);
    QAccessibleInterface* cell(std::uint32_t table, int row, int column);
    QAccessibleInterface* heading(std::uint32_t table, int column);
    // The node's children in the newest description.
    const std::vector<std::uint32_t>& children(std::uint32_t key) const {
        static const std::vector<std::uint32_t> kNone;
        const auto it = m_children.find(key);
        return it == m_children.end() ? kNone : it->second;
    }
    // The parent's interface: a node's, or the window's.
    QAccessibleInterface* parent_of(const AccessibleNode& n) {
        if (n.parent < 0 || !m_tree) return root();
        return interface_of(m_tree->nodes[static_cast<std::size_t>(n.parent)].key);
    }

private:
    void forget(std::uint32_t key);
    void forget_cells(std::uint32_t table, int rows, int columns);

    std::shared_ptr<const AccessibleTree> m_tree;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> m_children;  // key 0: the window's
    std::unordered_map<std::uint32_t, QAccessible::Id> m_nodes;
    std::map<std::tuple<std::uint32_t, int, int>, QAccessible::Id> m_cells;  // column -1: the heading
    std::deque<AccessibleAction> m_actions;
    QWindow* m_window = nullptr;
};

// The one service there is, while it is.
extern QtAccessibility* g_service;

// Qt's factory for the main window's interface.
QAccessibleInterface* make_root(const QString& key, QObject* object);
// A table's cell; row -1 is the column's heading.
QAccessibleInterface* new_cell_interface(std::uint32_t table, int row, int column);

}  // namespace domora::qt_access
