#include "sync/compact_text.h"

#include <ostream>

namespace domora {

std::ostream& operator<<(std::ostream& out, const CompactText& text) { return out << text.view(); }

}  // namespace domora
