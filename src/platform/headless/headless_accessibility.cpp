#include "platform/headless/headless_accessibility.h"

namespace domora {

void HeadlessAccessibility::update(std::shared_ptr<const AccessibleTree> tree, const std::vector<AccessibleChange>& changed) {
    trees.push_back(std::move(tree));
    changes.insert(changes.end(), changed.begin(), changed.end());
}

bool HeadlessAccessibility::take_action(AccessibleAction& action) {
    if (actions.empty()) return false;
    action = actions.front();
    actions.pop_front();
    return true;
}

const AccessibleTree& HeadlessAccessibility::tree() const {
    static const AccessibleTree kEmpty;
    return trees.empty() ? kEmpty : *trees.back();
}

const AccessibleNode* HeadlessAccessibility::node(AccessibleRole role, const std::string& name) const {
    for (const AccessibleNode& n : tree().nodes) {
        if (n.role == role && n.name == name) return &n;
    }
    return nullptr;
}

std::vector<const AccessibleNode*> HeadlessAccessibility::nodes(AccessibleRole role) const {
    std::vector<const AccessibleNode*> out;
    for (const AccessibleNode& n : tree().nodes) {
        if (n.role == role) out.push_back(&n);
    }
    return out;
}

void HeadlessAccessibility::press(const AccessibleNode& node) { actions.push_back({AccessibleAction::Press, node.key, -1, {}}); }

void HeadlessAccessibility::activate(const AccessibleNode& table, int row) {
    actions.push_back({AccessibleAction::Activate, table.key, row, {}});
}

void HeadlessAccessibility::set_text(const AccessibleNode& field, const std::string& text) {
    actions.push_back({AccessibleAction::SetText, field.key, -1, text});
}

int HeadlessAccessibility::count(AccessibleChange::Kind kind, std::uint32_t key) const {
    int n = 0;
    for (const AccessibleChange& c : changes) {
        if (c.kind == kind && c.key == key) ++n;
    }
    return n;
}

}  // namespace domora
