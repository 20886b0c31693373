// The real backend: Qt 6 for the window, events, screen and message boxes;
// a lock file and a local socket for the single-instance guard.
#include "platform/qt/qt_platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QLocale>
#include <QtCore/QMimeData>
#include <QtCore/QSocketNotifier>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtCore/QUrl>
#include <QtGui/QClipboard>
#include <QtGui/QCloseEvent>
#include <QtGui/QCursor>
#include <QtGui/QDesktopServices>
#include <QtGui/QFontMetrics>
#include <QtGui/QIcon>
#include <QtGui/QImage>
#include <QtGui/QKeyEvent>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QRasterWindow>
#include <QtGui/QScreen>
#include <QtGui/QStyleHints>
#include <QtGui/QWheelEvent>
#include <QtNetwork/QLocalServer>
#include <QtNetwork/QLocalSocket>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <thread>
#include <vector>

#include <xcb/xcb.h>

#include "platform/cp1252.h"
#include "platform/qt/qt_sound.h"
#include "platform/qt/qt_surface.h"
#include "platform/qt/qt_window.h"

namespace domora {

namespace {

QString to_qt(const std::string& bytes) { return QString::fromStdString(cp1252_to_utf8(bytes)); }

int g_signal_pipe[2] = {-1, -1};

// The locale a category follows: LC_ALL, then the category, then LANG.
QLocale locale_for(const char* category) {
    for (const char* name : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string locale = value;
            locale = locale.substr(0, locale.find_first_of(".@"));
            if (locale == "C" || locale == "POSIX") return QLocale(QLocale::English, QLocale::UnitedStates);
            return QLocale(QString::fromStdString(locale));
        }
    }
    return QLocale::system();
}

// The window's icon: the picture of the menu entry, at every size it is installed in.
QIcon application_icon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1x%1/org.domora.Domora.png").arg(size), QSize(size, size));
    }
    return icon;
}

// Outside a desktop session there is no XDG_RUNTIME_DIR, and Qt warns about
// it on every start. The program's own private folder (below TMPDIR, owner
// only) serves as the runtime folder then, for Qt and the single-instance
// guard alike. A folder of that name that is not the user's own and private
// is left alone.
void ensure_runtime_folder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return;
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/domora-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return;
    if ((st.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) return;
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

void on_termination_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
}

// ---- the platform ------------------------------------------------------------------

class QtPlatform : public Platform {
public:
    QtPlatform(int& argc, char** argv) : m_app(argc, argv) {
        QApplication::setApplicationName(QStringLiteral("Domora"));
        // Ties the window to its menu entry, so docks and task bars show that icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("org.domora.Domora"));
        QApplication::setWindowIcon(application_icon());
        QApplication::setQuitOnLastWindowClosed(false);
        install_termination_signals();
        m_clock.start();
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [this] {
            Event e;
            e.kind = EventKind::ClipboardChanged;
            m_events.push_back(e);
        });
    }

    ~QtPlatform() override {
        release_single_instance();
        destroy_main_window();
    }

    // ---- display -----------------------------------------------------------------------
    Rect work_area() override {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen) return Rect{0, 0, 1024, 768};
        const QRect area = screen->availableGeometry();
        return Rect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
    }

    int display_depth() override {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->depth() : 0;
    }

    void system_message_box(const std::string& text, const std::string& caption) override {
        std::string plain;
        plain.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            plain += text[i];
        }
        QMessageBox box(QMessageBox::Warning, to_qt(caption), to_qt(plain), QMessageBox::Ok);
        box.exec();
    }

    // ---- single instance -----------------------------------------------------------------
    bool claim_single_instance(const std::string& name) override {
        const std::string folder = runtime_folder();
        const std::string lock_path = folder + "/" + cp1252_to_utf8(name) + ".lock";
        const std::string socket_path = folder + "/" + cp1252_to_utf8(name);
        m_lock_fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_lock_fd >= 0 && ::flock(m_lock_fd, LOCK_EX | LOCK_NB) == 0) {
            QLocalServer::removeServer(QString::fromStdString(socket_path));
            m_server = new QLocalServer(&m_app);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            QObject::connect(m_server, &QLocalServer::newConnection, [this] { bring_forward(); });
            m_server->listen(QString::fromStdString(socket_path));
            return true;
        }
        if (m_lock_fd >= 0) ::close(m_lock_fd);
        m_lock_fd = -1;
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(socket_path));
        if (socket.waitForConnected(2000)) {
            socket.write("forward\n");
            socket.waitForBytesWritten(2000);
            socket.disconnectFromServer();
        }
        return false;
    }

    void release_single_instance() override {
        if (m_server) {
            m_server->close();
            delete m_server;
            m_server = nullptr;
        }
        if (m_lock_fd >= 0) {
            ::close(m_lock_fd);
            m_lock_fd = -1;
        }
    }

    // ---- main window ------------------------------------------------------------------------
    bool create_main_window(const std::string& title, const WindowPlacement& placement,
                            std::uint32_t background_rgb) override {
        const QColor background((background_rgb >> 16) & 0xFF, (background_rgb >> 8) & 0xFF, background_rgb & 0xFF);
        m_window = new MainWindow(m_events, m_draw.image(), background);
        m_window->setTitle(to_qt(title));
        m_window->setIcon(application_icon());
        m_window->setMinimumSize(minimum_frame());
        // The placement is the outer frame. Its size is made the client size
        // here; once the window manager has framed the window, the first show
        // takes the frame off again (fit_to_frame).
        m_wanted_frame = QRect(placement.x, placement.y, placement.width, placement.height);
        m_window->setFramePosition(m_wanted_frame.topLeft());
        m_window->resize(m_wanted_frame.size());
        m_window->set_normal_rect(m_wanted_frame);
        QObject::connect(m_window, &QWindow::windowStateChanged, [this](Qt::WindowState) { keep_locked_state(); });
        return true;
    }

    void show_main_window(int show_state) override {
        if (!m_window) return;
        if (!m_framed) {
            // The first show: normal at the wanted frame, then the state asked for,
            // so that a window that starts maximised keeps its normal rectangle.
            m_framed = true;
            m_window->showNormal();
            fit_to_frame();
        }
        if (show_state == kShowMaximised) {
            if (!(m_window->windowStates() & Qt::WindowMaximized)) m_window->showMaximized();
        } else if (show_state == kShowMinimised) {
            m_window->showMinimized();
        } else if (m_window->windowStates() != Qt::WindowNoState || !m_window->isVisible()) {
            m_window->showNormal();
        }
    }

    WindowPlacement main_window_placement() override {
        WindowPlacement placement;
        if (!m_window) return placement;
        const QRect rect = m_window->normal_rect();
        placement.x = rect.x();
        placement.y = rect.y();
        placement.width = rect.width();
        placement.height = rect.height();
        const Qt::WindowStates states = m_window->windowStates();
        placement.show_state = states & Qt::WindowMinimized   ? kShowMinimised
                               : states & Qt::WindowMaximized ? kShowMaximised
                                                              : kShowNormal;
        return placement;
    }

    void destroy_main_window() override {
        m_draw.end_painting();
        delete m_window;
        m_window = nullptr;
    }

    void client_size(int& width, int& height) override {
        width = m_window ? m_window->width() : 0;
        height = m_window ? m_window->height() : 0;
    }

    void set_main_window_placement(const WindowPlacement& placement) override {
        if (!m_window) return;
        if (placement.show_state == kShowNormal) m_window->setWindowStates(Qt::WindowNoState);
        const QMargins frame = m_window->frameMargins();
        m_window->resize(std::max(1, placement.width - frame.left() - frame.right()),
                         std::max(1, placement.height - frame.top() - frame.bottom()));
        m_window->setFramePosition(QPoint(placement.x, placement.y));
        m_window->set_normal_rect(QRect(placement.x, placement.y, placement.width, placement.height));
        show_main_window(placement.show_state);
    }

    void move_main_window(int x, int y) override {
        if (m_window) m_window->setFramePosition(QPoint(x, y));
    }

    void cursor_position(int& x, int& y) override {
        const QPoint at = QCursor::pos();
        x = at.x();
        y = at.y();
    }

    void set_window_locked(bool locked) override {
        if (!m_window) return;
        m_locked = locked;
        m_locked_state = m_window->windowStates();
        if (locked && !(m_locked_state & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
            // A normal window keeps its size; a maximised one is left as it
            // is (a fixed size would take it out of maximised) and kept
            // maximised by keep_locked_state instead.
            m_window->setMinimumSize(m_window->size());
            m_window->setMaximumSize(m_window->size());
        } else if (!locked) {
            apply_minimum_size();
            m_window->setMaximumSize(QSize((1 << 24) - 1, (1 << 24) - 1));
        }
    }

    bool is_foreground() override { return m_window && m_window->isActive(); }

    // ---- drawing surface: the surface draws, the window shows it
    void resize_surface(int width, int height) override { m_draw.resize_surface(width, height, device_pixel_ratio()); }
    FontHandle create_font(const FontSpec& spec) override { return m_draw.create_font(spec); }
    void release_font(FontHandle font) override { m_draw.release_font(font); }
    int font_height(FontHandle font) override { return m_draw.font_height(font); }
    TextExtent measure_text(FontHandle font, const std::string& text) override { return m_draw.measure_text(font, text); }
    void draw_text(int x, int y, FontHandle font, std::uint32_t colour, const std::string& text) override { m_draw.draw_text(x, y, font, colour, text); }
    void set_clip(const Rect& clip) override { m_draw.set_clip(clip); }
    void fill_rect(const Rect& r, std::uint32_t colour) override { m_draw.fill_rect(r, colour); }
    void frame_rect(const Rect& r, std::uint32_t colour) override { m_draw.frame_rect(r, colour); }
    void dotted_rect(const Rect& r, std::uint32_t colour) override { m_draw.dotted_rect(r, colour); }
    void draw_line(int x1, int y1, int x2, int y2, std::uint32_t colour) override { m_draw.draw_line(x1, y1, x2, y2, colour); }
    void invert_rect(const Rect& r) override { m_draw.invert_rect(r); }
    void blend_rect(const Rect& r, std::uint32_t colour, int alpha) override { m_draw.blend_rect(r, colour, alpha); }
    void gradient_rect(const Rect& r, std::uint32_t top, std::uint32_t bottom, int alpha) override { m_draw.gradient_rect(r, top, bottom, alpha); }
    bool bitmap_size(const std::string& name, int& width, int& height) override { return m_draw.bitmap_size(name, width, height); }
    void draw_bitmap(const std::string& name, int x, int y) override { m_draw.draw_bitmap(name, x, y); }
    void draw_image(const Rect& r, int width, int height, const std::vector<std::uint32_t>& pixels) override { m_draw.draw_image(r, width, height, pixels); }
    void save_surface() override { m_draw.save_surface(); }
    void draw_saved_surface(const Rect& r) override { m_draw.draw_saved_surface(r); }
    void free_saved_surface() override { m_draw.free_saved_surface(); }
    void present(const Rect& r) override {
        if (m_window) m_window->update(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
    }
    std::uint32_t pixel(int x, int y) override { return m_draw.pixel(x, y); }

    // ---- sound and locale ----------------------------------------------------------------------
    void play_sound(const std::string& name) override {
        QFile file(QStringLiteral(":/") + to_qt(name) + QStringLiteral(".wav"));
        if (!file.open(QIODevice::ReadOnly)) return;
        // Played beside the program, so that the window never waits for the sound.
        std::thread(play_wav, file.readAll()).detach();
    }

    bool measurement_is_us() override {
        return locale_for("LC_MEASUREMENT").measurementSystem() == QLocale::ImperialUSSystem;
    }

    std::string month_abbreviation(int month) override {
        if (month < 1 || month > 12) return {};
        return utf8_to_cp1252(locale_for("LC_TIME").monthName(month, QLocale::ShortFormat).toStdString());
    }

    DateOrder date_order() override {
        // The short date format names the parts in the order the user reads them: "M/d/yy", "dd.MM.yy", "yyyy-MM-dd".
        const QString format = locale_for("LC_TIME").dateFormat(QLocale::ShortFormat);
        const qsizetype day = format.indexOf('d'), month = format.indexOf('M'), year = format.indexOf('y');
        if (year >= 0 && (month < 0 || year < month) && (day < 0 || year < day)) return DateOrder::YearMonthDay;
        if (day >= 0 && month >= 0 && day < month) return DateOrder::DayMonthYear;
        return DateOrder::MonthDayYear;
    }

    // ---- clipboard and desktop ----------------------------------------------------------------
    std::string clipboard_text() override {
        return utf8_to_cp1252(QGuiApplication::clipboard()->text().toStdString());
    }

    void set_clipboard_text(const std::string& text) override { QGuiApplication::clipboard()->setText(to_qt(text)); }

    void set_secret_clipboard_text(const std::string& text) override {
        // The hint that KDE's and other clipboard managers read to keep a
        // password out of their history, on X11 and Wayland alike.
        auto* data = new QMimeData;
        data->setText(to_qt(text));
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
        QGuiApplication::clipboard()->setMimeData(data);
    }

    void clear_clipboard() override { QGuiApplication::clipboard()->clear(); }

    bool open_url(const std::string& url) override {
        return QDesktopServices::openUrl(QUrl(QString::fromStdString(cp1252_to_utf8(url))));
    }

    // ---- events and timers -------------------------------------------------------------------
    bool next_event(Event& event, bool wait) override {
        if (m_events.empty()) {
            QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
        }
        if (m_events.empty()) return false;
        event = m_events.front();
        m_events.pop_front();
        return true;
    }

    void set_timer(int id, int period_ms) override {
        QTimer*& timer = m_timers[id];
        if (!timer) {
            timer = new QTimer(&m_app);
            QObject::connect(timer, &QTimer::timeout, [this, id] { post_timer(id); });
        }
        timer->start(period_ms);
    }

    void kill_timer(int id) override {
        const auto it = m_timers.find(id);
        if (it != m_timers.end()) it->second->stop();
    }

    void post_timer(int id) override {
        Event e;
        e.kind = EventKind::Timer;
        e.timer_id = id;
        m_events.push_back(e);
    }

    std::uint64_t tick_ms() override { return static_cast<std::uint64_t>(m_clock.elapsed()); }

    void idle_wait(int ms) override {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, static_cast<int>(ms - waited.elapsed()));
            QThread::msleep(1);
        }
    }

    int wheel_scroll_lines() override { return QGuiApplication::styleHints()->wheelScrollLines(); }

private:
    qreal device_pixel_ratio() const {
        if (m_window) return m_window->devicePixelRatio();
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->devicePixelRatio() : 1.0;
    }

    static constexpr int kMinFrameWide = 1024;
    static constexpr int kMinFrameHigh = 748;

    // The smallest window is 1,024 x 748 with its frame, or the work area
    // where that is smaller (a laptop screen with a panel).
    QSize minimum_frame() {
        const Rect area = work_area();
        return QSize(std::min(kMinFrameWide, area.right - area.left), std::min(kMinFrameHigh, area.bottom - area.top));
    }

    void apply_minimum_size() {
        const QMargins frame = m_window->frameMargins();
        const QSize least = minimum_frame();
        m_window->setMinimumSize(QSize(std::max(1, least.width() - frame.left() - frame.right()),
                                       std::max(1, least.height() - frame.top() - frame.bottom())));
    }

    // Lets events come in, sleeping while none do, until done() or limit_ms.
    template <class Done>
    static void wait_until(Done done, int limit_ms) {
        QElapsedTimer waited;
        waited.start();
        // The timer wakes the wait at the limit when nothing else does.
        QTimer limit;
        limit.setSingleShot(true);
        limit.start(limit_ms);
        while (!done() && waited.elapsed() < limit_ms) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
        }
    }

    // Waits (briefly) for the window manager to frame the window, then makes
    // the outer frame the wanted rectangle.
    void fit_to_frame() {
        wait_until([this] { return m_window->isExposed(); }, 2000);
        // The frame is known once the window manager's reparenting has come
        // through; without a window manager there is none to wait for.
        if (!window_manager_running()) return;  // the client is the whole window
        wait_until([this] { return !m_window->frameMargins().isNull(); }, 1000);
        const QMargins frame = m_window->frameMargins();
        if (frame.isNull()) return;
        apply_minimum_size();
        const QSize client(std::max(1, m_wanted_frame.width() - frame.left() - frame.right()),
                           std::max(1, m_wanted_frame.height() - frame.top() - frame.bottom()));
        // The client's own rectangle inside the wanted frame, so that no
        // window manager can take the position for the client's.
        const QRect inside(m_wanted_frame.topLeft() + QPoint(frame.left(), frame.top()), client);
        m_window->setGeometry(inside);
        // The first drawing is made at the size and place the window manager
        // grants; one that ignored the first request is asked once more.
        const auto placed = [this, inside] { return m_window->geometry() == inside; };
        wait_until(placed, 500);
        if (!placed()) {
            m_window->setGeometry(inside);
            wait_until(placed, 1000);
        }
        m_window->set_normal_rect(m_wanted_frame);
    }

    // True unless this is an X server that no window manager has claimed
    // (EWMH: _NET_SUPPORTING_WM_CHECK on the root names a window that names
    // itself). Other platforms always have a compositor that frames windows.
    static bool window_manager_running() {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* c = x11 ? x11->connection() : nullptr;
        if (!c) return true;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        if (!screen) return true;
        const char name[] = "_NET_SUPPORTING_WM_CHECK";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
        if (!atom) return true;
        const xcb_atom_t check = atom->atom;
        std::free(atom);
        if (check == XCB_ATOM_NONE) return false;  // no program ever announced itself
        auto named_window = [&](xcb_window_t on) -> xcb_window_t {
            xcb_get_property_reply_t* reply =
                xcb_get_property_reply(c, xcb_get_property(c, 0, on, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
            xcb_window_t found = XCB_WINDOW_NONE;
            if (reply && reply->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(reply) >= 4) {
                found = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
            }
            std::free(reply);
            return found;
        };
        const xcb_window_t child = named_window(screen->root);
        // A manager that has quit may leave the root's property behind; its window is gone then.
        return child != XCB_WINDOW_NONE && named_window(child) == child;
    }

    // While a popup is open the window stays as it was locked: a maximised
    // window is neither restored nor moved, a normal one is not maximised.
    void keep_locked_state() {
        if (!m_locked || !m_window) return;
        const Qt::WindowStates now = m_window->windowStates();
        if (now == m_locked_state || (now & Qt::WindowMinimized)) return;
        if (m_locked_state & Qt::WindowMaximized) {
            QTimer::singleShot(0, m_window, [this] { if (m_locked && m_window) m_window->showMaximized(); });
        } else if (m_locked_state == Qt::WindowNoState) {
            QTimer::singleShot(0, m_window, [this] { if (m_locked && m_window) m_window->showNormal(); });
        }
    }

    static std::string runtime_folder() {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime && runtime[0] == '/') return runtime;
        // Without a runtime folder (ensure_runtime_folder found none it could
        // make), a private one in /tmp does the same job.
        const std::string folder = "/tmp/domora-" + std::to_string(::getuid());
        ::mkdir(folder.c_str(), 0700);
        return folder;
    }

    void bring_forward() {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        }
        if (!m_window) return;
        if (m_window->windowStates() & Qt::WindowMinimized) {
            m_window->setWindowStates(m_window->windowStates() & ~Qt::WindowMinimized);
        }
        m_window->show();
        m_window->raise();
        m_window->requestActivate();
        Event wake;
        wake.kind = EventKind::Wake;
        m_events.push_back(wake);
    }

    void install_termination_signals() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_pipe) != 0) return;
        struct sigaction action {};
        action.sa_handler = on_termination_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
        auto* notifier = new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, &m_app);
        QObject::connect(notifier, &QSocketNotifier::activated, [this] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(g_signal_pipe[0], &byte, 1);
            Event e;
            e.kind = EventKind::Terminate;
            m_events.push_back(e);
        });
    }

    QApplication m_app;
    QElapsedTimer m_clock;
    QtSurface m_draw;
    MainWindow* m_window = nullptr;
    QRect m_wanted_frame;
    bool m_framed = false;
    bool m_locked = false;
    Qt::WindowStates m_locked_state = Qt::WindowNoState;
    std::deque<Event> m_events;
    std::map<int, QTimer*> m_timers;
    QLocalServer* m_server = nullptr;
    int m_lock_fd = -1;
};

}  // namespace

std::unique_ptr<Platform> make_qt_platform(int& argc, char** argv) {
    ensure_runtime_folder();  // before Qt looks for it
    return std::make_unique<QtPlatform>(argc, argv);
}

}  // namespace domora
