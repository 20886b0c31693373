#include "platform/qt/qt_window.h"

#include <QtGui/QCloseEvent>
#include <QtGui/QGuiApplication>
#include <QtGui/QKeyEvent>
#include <QtGui/QPainter>
#include <QtGui/QWheelEvent>

#include "platform/cp1252.h"

namespace domora {

int key_code(int qt_key) {
    if (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) return 'A' + (qt_key - Qt::Key_A);
    if (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9) return '0' + (qt_key - Qt::Key_0);
    if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F24) return kKeyF1 + (qt_key - Qt::Key_F1);
    switch (qt_key) {
        case Qt::Key_Backspace: return kKeyBack;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return kKeyTab;
        case Qt::Key_Return:
        case Qt::Key_Enter: return kKeyReturn;
        case Qt::Key_Escape: return kKeyEscape;
        case Qt::Key_Space: return kKeySpace;
        case Qt::Key_PageUp: return kKeyPageUp;
        case Qt::Key_PageDown: return kKeyPageDown;
        case Qt::Key_End: return kKeyEnd;
        case Qt::Key_Home: return kKeyHome;
        case Qt::Key_Left: return kKeyLeft;
        case Qt::Key_Up: return kKeyUp;
        case Qt::Key_Right: return kKeyRight;
        case Qt::Key_Down: return kKeyDown;
        case Qt::Key_Insert: return kKeyInsert;
        case Qt::Key_Delete: return kKeyDelete;
        case Qt::Key_Shift: return kKeyShift;
        case Qt::Key_Control: return kKeyControl;
        case Qt::Key_Alt: return kKeyAlt;
        default: return 0;
    }
}

void MainWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, m_background);
    // The surface is drawn at the screen's pixel ratio: copy device pixels one to one.
    const qreal ratio = m_surface.devicePixelRatio();
    painter.drawImage(QRectF(area), m_surface,
                      QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The main loop ends and shuts down in order; the window stays until then.
    event->ignore();
    push(EventKind::Close);
}

void MainWindow::moveEvent(QMoveEvent* event) {
    remember_normal_rect();
    push(EventKind::Moved);
    QRasterWindow::moveEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    remember_normal_rect();
    Event e = base(EventKind::Resized);
    e.width = event->size().width();
    e.height = event->size().height();
    m_queue.push_back(e);
    QRasterWindow::resizeEvent(event);
}

void MainWindow::exposeEvent(QExposeEvent* event) {
    push(EventKind::Exposed);
    QRasterWindow::exposeEvent(event);
}

void MainWindow::wheelEvent(QWheelEvent* event) {
    Event e = base(EventKind::Wheel, event->modifiers());
    e.wheel_delta = event->angleDelta().y();
    e.x = static_cast<int>(event->position().x());
    e.y = static_cast<int>(event->position().y());
    m_queue.push_back(e);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    Event down = base(EventKind::KeyDown, event->modifiers());
    down.key = key_code(event->key());
    down.shift = down.shift || event->key() == Qt::Key_Backtab;
    m_queue.push_back(down);
    // Characters as typed, control codes included (Ctrl+A gives 1).
    int character = 0;
    const QString text = event->text();
    if (!text.isEmpty()) {
        const std::string bytes = utf8_to_cp1252(text.toStdString());
        if (bytes.size() == 1) character = static_cast<unsigned char>(bytes[0]);
    }
    if (character == 0 && down.ctrl && down.key >= 'A' && down.key <= 'Z') character = down.key - 'A' + 1;
    // Alt+letter presses a mnemonic, which is matched by its character.
    if (character == 0 && down.alt && !down.ctrl && down.key >= 'A' && down.key <= 'Z') character = down.key - 'A' + 'a';
    if (character == 0 && down.alt && !down.ctrl && down.key >= '0' && down.key <= '9') character = down.key;
    if (character == 0 && (down.key == kKeyBack || down.key == kKeyTab || down.key == kKeyReturn || down.key == kKeyEscape)) {
        character = down.key;
    }
    if (character == 127) character = 0;  // Delete is a key, not a character
    if (character != 0) {
        Event typed = base(EventKind::Character, event->modifiers());
        typed.character = character;
        m_queue.push_back(typed);
    }
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;  // a held key repeats its key-down only
    Event up = base(EventKind::KeyUp, event->modifiers());
    up.key = key_code(event->key());
    m_queue.push_back(up);
}

Event MainWindow::base(EventKind kind) { return base(kind, QGuiApplication::queryKeyboardModifiers()); }

Event MainWindow::base(EventKind kind, Qt::KeyboardModifiers mods) {
    Event e;
    e.kind = kind;
    e.shift = mods & Qt::ShiftModifier;
    e.ctrl = mods & Qt::ControlModifier;
    // AltGr arrives as Ctrl+Alt on some keyboards: it types, it presses no mnemonic.
    e.alt = (mods & Qt::AltModifier) && !(mods & Qt::ControlModifier);
    return e;
}

void MainWindow::mouse(EventKind kind, QMouseEvent* event, bool double_click) {
    Event e = base(kind, event->modifiers());
    e.double_click = double_click;
    e.x = static_cast<int>(event->position().x());
    e.y = static_cast<int>(event->position().y());
    e.button = event->button() == Qt::RightButton ? 2 : event->button() == Qt::LeftButton ? 1 : 0;
    if (kind != EventKind::MouseMove && e.button == 0) return;  // middle and extra buttons are not used
    m_queue.push_back(e);
}

void MainWindow::remember_normal_rect() {
    if (isVisible() && windowStates() == Qt::WindowNoState) m_normal_rect = frameGeometry();
}

}  // namespace domora
