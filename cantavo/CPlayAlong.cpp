#include "CPlayAlong.h"

#include "CVirtualPiano.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include <algorithm>

namespace {

constexpr std::uint8_t kVelocity = 100;
// The instrument's 88 keys, A0 to C8.
constexpr int kLowestKey = 21;
constexpr int kHighestKey = 108;
constexpr int kLowestBase = 24;
constexpr int kHighestBase = 84;

// Semitones above the lowest note for a computer key, or -1.
int Offset(int key) {
    switch (key) {
    case Qt::Key_Z:
        return 0;
    case Qt::Key_S:
        return 1;
    case Qt::Key_X:
        return 2;
    case Qt::Key_D:
        return 3;
    case Qt::Key_C:
        return 4;
    case Qt::Key_V:
        return 5;
    case Qt::Key_G:
        return 6;
    case Qt::Key_B:
        return 7;
    case Qt::Key_H:
        return 8;
    case Qt::Key_N:
        return 9;
    case Qt::Key_J:
        return 10;
    case Qt::Key_M:
        return 11;
    case Qt::Key_Comma:
        return 12;
    case Qt::Key_L:
        return 13;
    case Qt::Key_Period:
        return 14;
    case Qt::Key_Semicolon:
        return 15;
    case Qt::Key_Slash:
        return 16;
    case Qt::Key_Q:
        return 12;
    case Qt::Key_2:
        return 13;
    case Qt::Key_W:
        return 14;
    case Qt::Key_3:
        return 15;
    case Qt::Key_E:
        return 16;
    case Qt::Key_R:
        return 17;
    case Qt::Key_5:
        return 18;
    case Qt::Key_T:
        return 19;
    case Qt::Key_6:
        return 20;
    case Qt::Key_Y:
        return 21;
    case Qt::Key_7:
        return 22;
    case Qt::Key_U:
        return 23;
    case Qt::Key_I:
        return 24;
    case Qt::Key_9:
        return 25;
    case Qt::Key_O:
        return 26;
    case Qt::Key_0:
        return 27;
    case Qt::Key_P:
        return 28;
    default:
        return -1;
    }
}

// The computer keys are told apart by a small index of their own.
int Slot(int key) {
    return key & 0x7F;
}

bool TakesText(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) != nullptr ||
           qobject_cast<const QTextEdit*>(widget) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr;
}

} // namespace

CPlayAlong::CPlayAlong(QWidget* window, std::shared_ptr<CVirtualPiano> piano)
    : QObject(window), m_window(window), m_piano(std::move(piano)) {
    m_held.fill(-1);
    if (m_piano && m_window != nullptr && QCoreApplication::instance() != nullptr) {
        // Key events go to the focused child; the application sees them all first.
        QCoreApplication::instance()->installEventFilter(this);
    }
}

CPlayAlong::~CPlayAlong() {
    ReleaseAll();
}

void CPlayAlong::SetEnabled(bool enabled) {
    if (!enabled) {
        ReleaseAll();
    }
    m_enabled = enabled;
}

void CPlayAlong::ReleaseAll() {
    for (int& note : m_held) {
        if (note >= 0 && m_piano) {
            m_piano->ReleaseKey(static_cast<std::uint8_t>(note));
        }
        note = -1;
    }
}

bool CPlayAlong::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        return OnKey(watched, static_cast<QKeyEvent*>(event), true);
    case QEvent::KeyRelease:
        return OnKey(watched, static_cast<QKeyEvent*>(event), false);
    case QEvent::WindowDeactivate:
        // A key let go while another window has the keyboard would never come back up.
        if (watched == m_window) {
            ReleaseAll();
        }
        return false;
    default:
        return false;
    }
}

bool CPlayAlong::OnKey(QObject* watched, QKeyEvent* event, bool press) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) {
        return false;
    }
    // A key a text field ignored comes on to its parents: the field with the keyboard is what
    // counts, not the widget the key has come to.
    const bool ours = m_enabled && widget->window() == m_window && !TakesText(widget) &&
                      !TakesText(QApplication::focusWidget());
    // A key that plays a note ends it when it comes up, whatever was pressed or focused since:
    // a modifier or a click into a text field must not leave the note sounding.
    // Shift pressed meanwhile changes what the key is called (2 comes up as @), not which key it
    // is: the keyboard's scan code says that.
    if (!press && !event->isAutoRepeat()) {
        const quint32 scan = event->nativeScanCode();
        for (std::size_t slot = 0; slot < m_held.size(); ++slot) {
            const bool same = Offset(event->key()) >= 0
                                  ? slot == static_cast<std::size_t>(Slot(event->key()))
                                  : scan != 0 && m_scan[slot] == scan;
            if (same && m_held[slot] >= 0) {
                m_piano->ReleaseKey(static_cast<std::uint8_t>(m_held[slot]));
                m_held[slot] = -1;
                return ours;
            }
        }
    }
    if (!ours) {
        return false;
    }
    const Qt::KeyboardModifiers shortcut = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if ((event->modifiers() & shortcut) != 0) {
        return false;
    }
    const int key = event->key();
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        if (press && !event->isAutoRepeat()) {
            m_base =
                std::clamp(m_base + (key == Qt::Key_PageUp ? 12 : -12), kLowestBase, kHighestBase);
        }
        return true;
    }
    const int offset = Offset(key);
    if (offset < 0) {
        return false;
    }
    if (event->isAutoRepeat()) {
        return true;
    }
    int& held = m_held[static_cast<std::size_t>(Slot(key))];
    if (press) {
        const int note = m_base + offset;
        if (held >= 0 || note < kLowestKey || note > kHighestKey) {
            return true;
        }
        held = note;
        m_scan[static_cast<std::size_t>(Slot(key))] = event->nativeScanCode();
        m_piano->PressKey(static_cast<std::uint8_t>(note), kVelocity);
    } else if (held >= 0) {
        m_piano->ReleaseKey(static_cast<std::uint8_t>(held));
        held = -1;
    }
    return true;
}
