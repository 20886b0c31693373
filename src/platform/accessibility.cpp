#include "platform/accessibility.h"

namespace domora {

namespace {

class NobodyListens : public AccessibilityService {
public:
    bool listening() override { return false; }
    void update(std::shared_ptr<const AccessibleTree>, const std::vector<AccessibleChange>&) override {}
    bool take_action(AccessibleAction&) override { return false; }
};

NobodyListens g_nobody;
AccessibilityService* g_service = nullptr;

}  // namespace

int AccessibleTree::index_of(std::uint32_t key) const {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].key == key) return static_cast<int>(i);
    }
    return -1;
}

const AccessibleNode* AccessibleTree::find(std::uint32_t key) const {
    const int index = index_of(key);
    return index < 0 ? nullptr : &nodes[static_cast<std::size_t>(index)];
}

AccessibilityService& accessibility_service() { return g_service ? *g_service : g_nobody; }

void set_accessibility_service(AccessibilityService* service) { g_service = service; }

}  // namespace domora
