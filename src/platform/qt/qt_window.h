// The main window of the real backend: it shows the program's surface and
// turns Qt's input and window events into the program's events.
#pragma once

#include <QtGui/QAccessible>
#include <QtGui/QColor>
#include <QtGui/QImage>
#include <QtGui/QRasterWindow>
#include <deque>

#include "platform/platform.h"

namespace domora {

// Maps Qt's keys to the classic virtual-key codes the program uses; 0 for others.
int key_code(int qt_key);

class MainWindow : public QRasterWindow {
public:
    MainWindow(std::deque<Event>& queue, QImage& surface, QColor background)
        : m_queue(queue), m_surface(surface), m_background(background) {}

    // The rectangle of the normal state, kept while the window is neither
    // maximised nor minimised so that it survives a maximise.
    QRect normal_rect() const { return m_normal_rect; }
    void set_normal_rect(QRect rect) { m_normal_rect = rect; }
    // A plain window has no accessible root of its own; the accessibility
    // service's factory makes the one that carries the widget description.
    QAccessibleInterface* accessibleRoot() const override {
        return QAccessible::queryAccessibleInterface(const_cast<MainWindow*>(this));
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void exposeEvent(QExposeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override { mouse(EventKind::ButtonDown, event); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { mouse(EventKind::ButtonDown, event, true); }
    void mouseReleaseEvent(QMouseEvent* event) override { mouse(EventKind::ButtonUp, event); }
    void mouseMoveEvent(QMouseEvent* event) override { mouse(EventKind::MouseMove, event); }
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // The modifiers as the input event carries them: asking the display
    // later could miss a Ctrl or Alt already let go by a quick typist.
    static Event base(EventKind kind, Qt::KeyboardModifiers mods);
    static Event base(EventKind kind);
    void push(EventKind kind) { m_queue.push_back(base(kind)); }
    void mouse(EventKind kind, QMouseEvent* event, bool double_click = false);
    void remember_normal_rect();

    std::deque<Event>& m_queue;
    QImage& m_surface;
    QColor m_background;
    QRect m_normal_rect;
};

}  // namespace domora
