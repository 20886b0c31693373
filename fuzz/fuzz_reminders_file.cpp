// The reminders file: whatever the bytes, every reminder read is whole and
// valid, and what was read writes back to the same reminders and the same
// chunks of other kinds, with nothing damaged on the way.
#include "fuzz_support.h"
#include "vehicles/reminder_file.h"
#include "vehicles/vehicle_units.h"

using namespace domora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ReminderFile file = parse_reminders(fuzz::input_text(data, size));
    FUZZ_CHECK(file.damaged >= 0);
    std::size_t bytes = 0;
    for (const Reminder& r : file.reminders) {
        FUZZ_CHECK(!r.text.empty() && r.text.find('\0') == std::string::npos);
        FUZZ_CHECK(r.has_date() ? calendar_date(r.due_year, r.due_month, r.due_day) : r.due_month == 0 && r.due_day == 0);
        FUZZ_CHECK(r.due_odometer >= 0 && r.repeat_distance >= 0);
        FUZZ_CHECK(r.repeat_months >= 0 && r.repeat_months <= kMostRepeatMonths);
        bytes += encode_reminder(r).size();
    }
    for (const std::string& chunk : file.other_chunks) bytes += chunk.size();
    FUZZ_CHECK(bytes <= size);
    const std::string written = encode_reminders(file);
    const ReminderFile again = parse_reminders(written);
    FUZZ_CHECK(again.reminders == file.reminders);
    FUZZ_CHECK(again.other_chunks == file.other_chunks);
    FUZZ_CHECK(again.damaged == 0);
    FUZZ_CHECK(encode_reminders(again) == written);
    return 0;
}
