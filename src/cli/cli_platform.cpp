#include "cli/cli_platform.h"

#include <langinfo.h>
#include <locale.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/cp1252.h"

namespace domora {

namespace {

// The locale name the window program would use for a category; "" for U.S. English.
std::string locale_name(const char* category) {
    for (const char* name : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            const std::string locale = value;
            const std::string base = locale.substr(0, locale.find_first_of(".@"));
            if (base == "C" || base == "POSIX") return {};
            return locale;
        }
    }
    return {};
}

// The C library's data for that locale, or none when it is not installed
// (the caller then answers as for U.S. English).
class LocaleData {
public:
    LocaleData(int mask, const char* category) {
        const std::string name = locale_name(category);
        if (!name.empty()) m_locale = newlocale(mask, name.c_str(), static_cast<locale_t>(nullptr));
    }
    ~LocaleData() {
        if (m_locale) freelocale(m_locale);
    }
    LocaleData(const LocaleData&) = delete;
    LocaleData& operator=(const LocaleData&) = delete;
    locale_t get() const { return m_locale; }

private:
    locale_t m_locale = static_cast<locale_t>(nullptr);
};

}  // namespace

void CliPlatform::system_message_box(const std::string& text, const std::string& caption) {
    std::string line = cp1252_to_utf8(caption.empty() ? text : caption + ": " + text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    std::fprintf(stderr, "domora-cli: %s\n", line.c_str());
}

bool CliPlatform::next_event(Event& event, bool) {
    event = Event{};
    event.kind = EventKind::Close;
    return true;
}

void CliPlatform::idle_wait(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint64_t CliPlatform::tick_ms() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

bool CliPlatform::measurement_is_us() {
    const LocaleData data(LC_MEASUREMENT_MASK, "LC_MEASUREMENT");
    if (!data.get()) return true;
    // glibc gives 1 for metric and 2 for U.S. customary units.
    const char* value = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, data.get());
    return value && value[0] == 2;
}

std::string CliPlatform::month_abbreviation(int month) {
    static const char* const kEnglish[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (month < 1 || month > 12) return {};
    const LocaleData data(LC_TIME_MASK, "LC_TIME");
    if (!data.get()) return kEnglish[month - 1];
    const char* value = nl_langinfo_l(static_cast<nl_item>(ABMON_1 + month - 1), data.get());
    if (!value || !*value) return kEnglish[month - 1];
    // The C library answers in the locale's own encoding; UTF-8 is the rule today.
    return utf8_to_cp1252(value);
}

DateOrder CliPlatform::date_order() {
    const LocaleData data(LC_TIME_MASK, "LC_TIME");
    if (!data.get()) return DateOrder::MonthDayYear;
    const std::string format = nl_langinfo_l(D_FMT, data.get());
    // "%m/%d/%y", "%d.%m.%Y", "%Y-%m-%d"; %F and %D stand for the two common ones.
    if (format.find("%F") != std::string::npos) return DateOrder::YearMonthDay;
    if (format.find("%D") != std::string::npos) return DateOrder::MonthDayYear;
    const std::size_t day = format.find("%d"), month = format.find("%m");
    std::size_t year = format.find("%Y");
    if (year == std::string::npos) year = format.find("%y");
    if (year != std::string::npos && (month == std::string::npos || year < month) && (day == std::string::npos || year < day)) {
        return DateOrder::YearMonthDay;
    }
    if (day != std::string::npos && month != std::string::npos && day < month) return DateOrder::DayMonthYear;
    return DateOrder::MonthDayYear;
}

}  // namespace domora
