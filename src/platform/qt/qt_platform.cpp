// The real backend: Qt 6 for the window, events, screen and message boxes;
// a lock file and a local socket for the single-instance guard.
#include "platform/qt/qt_platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtCore/QSocketNotifier>
#include <QtCore/QTimer>
#include <QtGui/QCloseEvent>
#include <QtGui/QIcon>
#include <QtGui/QPainter>
#include <QtGui/QRasterWindow>
#include <QtGui/QScreen>
#include <QtNetwork/QLocalServer>
#include <QtNetwork/QLocalSocket>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>
#include <deque>
#include <map>

#include "platform/cp1252.h"

namespace domora {

namespace {

QString to_qt(const std::string& bytes) { return QString::fromStdString(cp1252_to_utf8(bytes)); }

int g_signal_pipe[2] = {-1, -1};

void on_termination_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
}

// ---- the main window --------------------------------------------------------------

class MainWindow : public QRasterWindow {
public:
    MainWindow(std::deque<Event>& queue, QColor background) : m_queue(queue), m_background(background) {}

    // The rectangle of the normal state, kept while the window is neither
    // maximised nor minimised so that it survives a maximise.
    QRect normal_rect() const { return m_normal_rect; }
    void set_normal_rect(QRect rect) { m_normal_rect = rect; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(QPoint(0, 0), size()), m_background);
    }
    void closeEvent(QCloseEvent* event) override {
        // The main loop ends and shuts down in order; the window stays until then.
        event->ignore();
        m_queue.push_back(Event{EventKind::Close, 0});
    }
    void moveEvent(QMoveEvent* event) override {
        remember_normal_rect();
        QRasterWindow::moveEvent(event);
    }
    void resizeEvent(QResizeEvent* event) override {
        remember_normal_rect();
        QRasterWindow::resizeEvent(event);
    }

private:
    void remember_normal_rect() {
        if (isVisible() && windowStates() == Qt::WindowNoState) m_normal_rect = frameGeometry();
    }

    std::deque<Event>& m_queue;
    QColor m_background;
    QRect m_normal_rect;
};

// ---- the platform ------------------------------------------------------------------

class QtPlatform : public Platform {
public:
    QtPlatform(int& argc, char** argv) : m_app(argc, argv) {
        QApplication::setApplicationName(QStringLiteral("Domora"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/PROGRAM.xpm")));
        QApplication::setQuitOnLastWindowClosed(false);
        install_termination_signals();
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
        std::string plain = text;
        for (std::size_t at; (at = plain.find("\r\n")) != std::string::npos;) plain.replace(at, 2, "\n");
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
        m_window = new MainWindow(m_events, background);
        m_window->setTitle(to_qt(title));
        m_window->setIcon(QIcon(QStringLiteral(":/PROGRAM.xpm")));
        m_window->setMinimumSize(QSize(1024, 748));
        m_window->setFramePosition(QPoint(placement.x, placement.y));
        m_window->resize(placement.width, placement.height);
        m_window->set_normal_rect(QRect(placement.x, placement.y, placement.width, placement.height));
        return true;
    }

    void show_main_window(int show_state) override {
        if (!m_window) return;
        if (show_state == kShowMaximised) {
            m_window->showMaximized();
        } else if (show_state == kShowMinimised) {
            m_window->showMinimized();
        } else {
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
        delete m_window;
        m_window = nullptr;
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
            QObject::connect(timer, &QTimer::timeout, [this, id] { m_events.push_back(Event{EventKind::Timer, id}); });
        }
        timer->start(period_ms);
    }

    void kill_timer(int id) override {
        const auto it = m_timers.find(id);
        if (it != m_timers.end()) it->second->stop();
    }

    void post_timer(int id) override { m_events.push_back(Event{EventKind::Timer, id}); }

private:
    static std::string runtime_folder() {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime && runtime[0] == '/') return runtime;
        // Without a runtime folder, a private one in /tmp does the same job.
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
        m_events.push_back(Event{EventKind::Wake, 0});
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
            m_events.push_back(Event{EventKind::Terminate, 0});
        });
    }

    QApplication m_app;
    MainWindow* m_window = nullptr;
    std::deque<Event> m_events;
    std::map<int, QTimer*> m_timers;
    QLocalServer* m_server = nullptr;
    int m_lock_fd = -1;
};

}  // namespace

std::unique_ptr<Platform> make_qt_platform(int& argc, char** argv) { return std::make_unique<QtPlatform>(argc, argv); }

}  // namespace domora
