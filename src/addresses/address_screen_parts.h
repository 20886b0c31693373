// What the Addresses screen's files share: its list state, its drawing and
// its operations.
#pragma once

#include <cstdint>
#include <string>

#include "addresses/address_list.h"
#include "ui/widgets.h"

namespace domora {

// The list state behind the address list; it outlives the screen's visits.
ListState& address_list_state();
// Asks the next draw to scroll the current record into view.
void scroll_current_into_view();
// Fills the widget table with the screen and draws it.
void draw_address_screen();
// Lets the toolkit draw the address list kind with the screen's drawer.
void register_address_list_drawer();
// Pixels from the list's left edge to the end of the check-box column.
inline constexpr int kCheckColumnWidth = 28;

// Shows a progress popup once an operation has run long enough to need one.
class LazyProgress {
public:
    explicit LazyProgress(std::string title);
    ~LazyProgress();
    LazyProgress(const LazyProgress&) = delete;
    LazyProgress& operator=(const LazyProgress&) = delete;
    void update(std::int64_t done, std::int64_t total);
    ProgressFn fn() {
        return [this](std::int64_t done, std::int64_t total) { update(done, total); };
    }

private:
    std::string m_title;
    std::uint64_t m_started;
    bool m_open = false;
};

// ---- operations (address_forms.cpp) ------------------------------------------------------------

void add_address();
void edit_address();
void delete_addresses();
void find_addresses();

}  // namespace domora
