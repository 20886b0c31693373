#include "screens/newsletter.h"

#include "app/launch.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/update_check.h"
#include "ui/popups.h"

namespace domora {

namespace {

bool g_notice_shown = false;

}  // namespace

void reset_newsletter_notice() { g_notice_shown = false; }

void offer_newsletter(bool forced) {
    const MainWindowState& win = main_window();
    if (!update_check_done()) return;  // nothing yet; the fetch's timer brings the next turn
    if (forced) g_notice_shown = false;
    if (g_notice_shown || win.popup_open || win.quit_requested) return;
    const std::string& text = update_text();
    if (text.empty()) return;
    g_notice_shown = true;

    const NewsletterNotice notice = newsletter_notice(text);
    if (notice.date.empty() || notice.link.empty()) return;
    if (!forced && compare_bytes(notice.date, settings().last_news) <= 0) return;

    int chosen = 0;
    ShowPopup(newsletter_heading(notice.date) + "||" + notice.note, "", 1, "Read Now|Later", 0, chosen);
    if (chosen != 1) return;
    open_web_page(notice.link);
    // Kept with the settings at their next save.
    settings().last_news = notice.date;
}

}  // namespace domora
