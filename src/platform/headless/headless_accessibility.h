// An accessibility service for tests: it listens when told to, keeps every
// description and change it was given, and hands out the actions a test
// queues as if a screen reader had asked for them.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/accessibility.h"

namespace domora {

class HeadlessAccessibility : public AccessibilityService {
public:
    bool client_listening = true;
    // Every description given, oldest first, and every change with it.
    std::vector<std::shared_ptr<const AccessibleTree>> trees;
    std::vector<AccessibleChange> changes;
    std::deque<AccessibleAction> actions;

    bool listening() override { return client_listening; }
    void update(std::shared_ptr<const AccessibleTree> tree, const std::vector<AccessibleChange>& changed) override;
    bool take_action(AccessibleAction& action) override;

    // The newest description (an empty one before the first).
    const AccessibleTree& tree() const;
    // The first node of the newest description with this role and name, or null.
    const AccessibleNode* node(AccessibleRole role, const std::string& name) const;
    // The nodes of the newest description with this role, in order.
    std::vector<const AccessibleNode*> nodes(AccessibleRole role) const;
    // Queues what a client asks of a node of the newest description.
    void press(const AccessibleNode& node);
    void activate(const AccessibleNode& table, int row);
    void set_text(const AccessibleNode& field, const std::string& text);
    // How many changes of this kind were given for this key.
    int count(AccessibleChange::Kind kind, std::uint32_t key) const;
};

}  // namespace domora
