#include "app/Shortcuts.h"

#include "view/WindowMod.h"

#include <QCoreApplication>

namespace Shortcuts {

namespace {

// The PTZ panel's button codes (MenuPtz): the pad and the zoom pair.
constexpr int PtzUp = 1;
constexpr int PtzLeft = 2;
constexpr int PtzRight = 3;
constexpr int PtzDown = 4;
constexpr int PtzZoomOut = 9;
constexpr int PtzZoomIn = 10;

QList<GridShortcut> makeTable()
{
    using A = Action;
    using M = Mode;
    return {
        {A::Layout, Qt::ALT | Qt::Key_1, QT_TRANSLATE_NOOP("Shortcuts", "1 window"), M::Both,
         WINDOW_MOD_1},
        {A::Layout, Qt::ALT | Qt::Key_2, QT_TRANSLATE_NOOP("Shortcuts", "4 windows"), M::Both,
         WINDOW_MOD_4},
        {A::Layout, Qt::ALT | Qt::Key_3, QT_TRANSLATE_NOOP("Shortcuts", "6 windows"), M::Both,
         WINDOW_MOD_6},
        {A::Layout, Qt::ALT | Qt::Key_4, QT_TRANSLATE_NOOP("Shortcuts", "8 windows"), M::Both,
         WINDOW_MOD_8},
        {A::Layout, Qt::ALT | Qt::Key_5, QT_TRANSLATE_NOOP("Shortcuts", "9 windows"), M::Both,
         WINDOW_MOD_9},
        {A::Layout, Qt::ALT | Qt::Key_6, QT_TRANSLATE_NOOP("Shortcuts", "13 windows"), M::Both,
         WINDOW_MOD_13},
        {A::Layout, Qt::ALT | Qt::Key_7, QT_TRANSLATE_NOOP("Shortcuts", "16 windows"), M::Both,
         WINDOW_MOD_16},
        {A::Layout, Qt::ALT | Qt::Key_8, QT_TRANSLATE_NOOP("Shortcuts", "25 windows"), M::Both,
         WINDOW_MOD_25},
        {A::Layout, Qt::ALT | Qt::Key_9, QT_TRANSLATE_NOOP("Shortcuts", "36 windows"), M::Both,
         WINDOW_MOD_36},
        {A::Layout, Qt::ALT | Qt::Key_0, QT_TRANSLATE_NOOP("Shortcuts", "49 windows"), M::Both,
         WINDOW_MOD_49},
        {A::Layout, Qt::ALT | Qt::Key_Minus, QT_TRANSLATE_NOOP("Shortcuts", "64 windows"), M::Both,
         WINDOW_MOD_64},
        {A::FullScreen, QKeyCombination(Qt::Key_F11),
         QT_TRANSLATE_NOOP("Shortcuts", "Full screen on or off"), M::Both, 0},
        {A::Escape, QKeyCombination(Qt::Key_Escape),
         QT_TRANSLATE_NOOP("Shortcuts", "Leave the cell's zoom, else full screen"), M::Both, 0},
        {A::Select, QKeyCombination(Qt::Key_Tab),
         QT_TRANSLATE_NOOP("Shortcuts", "Select the next cell"), M::Both, 1},
        {A::Select, Qt::SHIFT | Qt::Key_Tab,
         QT_TRANSLATE_NOOP("Shortcuts", "Select the previous cell"), M::Both, -1},
        {A::Ptz, QKeyCombination(Qt::Key_Up), QT_TRANSLATE_NOOP("Shortcuts", "Tilt up (hold)"),
         M::Live, PtzUp},
        {A::Ptz, QKeyCombination(Qt::Key_Down), QT_TRANSLATE_NOOP("Shortcuts", "Tilt down (hold)"),
         M::Live, PtzDown},
        {A::Ptz, QKeyCombination(Qt::Key_Left), QT_TRANSLATE_NOOP("Shortcuts", "Pan left (hold)"),
         M::Live, PtzLeft},
        {A::Ptz, QKeyCombination(Qt::Key_Right), QT_TRANSLATE_NOOP("Shortcuts", "Pan right (hold)"),
         M::Live, PtzRight},
        {A::Ptz, QKeyCombination(Qt::Key_Plus), QT_TRANSLATE_NOOP("Shortcuts", "Zoom in (hold)"),
         M::Live, PtzZoomIn},
        {A::Ptz, QKeyCombination(Qt::Key_Minus), QT_TRANSLATE_NOOP("Shortcuts", "Zoom out (hold)"),
         M::Live, PtzZoomOut},
        {A::Step, QKeyCombination(Qt::Key_Left), QT_TRANSLATE_NOOP("Shortcuts", "One frame back"),
         M::Playback, -1},
        {A::Step, QKeyCombination(Qt::Key_Right),
         QT_TRANSLATE_NOOP("Shortcuts", "One frame forward"), M::Playback, 1},
        {A::Pause, QKeyCombination(Qt::Key_Space),
         QT_TRANSLATE_NOOP("Shortcuts", "Pause or resume"), M::Playback, 0},
        {A::Snapshot, QKeyCombination(Qt::Key_S),
         QT_TRANSLATE_NOOP("Shortcuts", "Snapshot of the selected channel"), M::Both, 0},
        {A::Record, QKeyCombination(Qt::Key_R),
         QT_TRANSLATE_NOOP("Shortcuts", "Start or stop recording the selected channel"), M::Both,
         0},
        {A::Info, QKeyCombination(Qt::Key_I),
         QT_TRANSLATE_NOOP("Shortcuts", "Stream information on or off"), M::Both, 0},
        {A::Help, QKeyCombination(Qt::Key_F1), QT_TRANSLATE_NOOP("Shortcuts", "This list of keys"),
         M::Both, 0},
    };
}

} // namespace

const QList<GridShortcut> &table()
{
    static const QList<GridShortcut> entries = makeTable();
    return entries;
}

const GridShortcut *holdEntry(int key, Qt::KeyboardModifiers modifiers, bool live)
{
    modifiers &= ~(Qt::ShiftModifier | Qt::KeypadModifier);
    for (const GridShortcut &e : table())
        if (e.isHold() && e.appliesIn(live) && e.key.key() == key &&
            e.key.keyboardModifiers() == modifiers)
            return &e;
    return nullptr;
}

QString description(const GridShortcut &entry)
{
    return QCoreApplication::translate("Shortcuts", entry.text);
}

QString modeText(Mode mode)
{
    switch (mode) {
    case Mode::Live:
        return QCoreApplication::translate("Shortcuts", "Live view");
    case Mode::Playback:
        return QCoreApplication::translate("Shortcuts", "Playback");
    case Mode::Both:
        break;
    }
    return QCoreApplication::translate("Shortcuts", "Live view and playback");
}

QString keyText(const GridShortcut &entry)
{
    return entry.sequence().toString(QKeySequence::NativeText);
}

} // namespace Shortcuts
