#pragma once

#include <QKeyCombination>
#include <QKeySequence>
#include <QList>
#include <QString>

// The keyboard shortcuts of the video grid, in one table: GridKeys binds
// them and ShortcutHelp lists them, so the keys the help page shows are the
// keys that act.
//
// Trigger keys act once per press (QShortcut, scoped to the grid). Hold keys
// (the PTZ moves) act while held: the press starts, the release stops; they
// are read from the grid's key events (GridKeys).
//
// Plain data; any thread (description() and modeText() translate, so the
// GUI thread for those).
namespace Shortcuts {

// What a key does; GridShortcut::arg says which one of its kind.
enum class Action {
    Layout,     // arg: the WINDOW_MOD to show
    FullScreen, // the grid alone fills the screen, or leaves it
    Escape,     // the selected cell's zoom back to 1, else out of full screen
    Ptz,        // hold; arg: the PTZ panel's button code (MenuPtz)
    Step,       // arg: -1 back, +1 forward on the timeline
    Pause,      // pause or resume the playback
    Snapshot,   // of the selected channel
    Record,     // starts or stops recording the selected channel
    Select,     // arg: +1 the next cell's channel, -1 the previous one's
    Info,       // the selected cell's information overlay on or off
    Help,       // this table as a help page
};

// The grid's mode where a key applies.
enum class Mode { Live, Playback, Both };

struct GridShortcut
{
    Action action;
    QKeyCombination key;
    const char *text; // untranslated; description() translates it
    Mode mode;
    int arg;

    QKeySequence sequence() const { return QKeySequence(key); }
    bool isHold() const { return action == Action::Ptz; }
    bool appliesIn(bool live) const { return mode == Mode::Both || (mode == Mode::Live) == live; }
};

// Every shortcut, in the order the help page lists them.
const QList<GridShortcut> &table();

// The hold entry a key event means in the given mode, or null. Shift and the
// keypad do not count ('+' needs Shift on many layouts); other modifiers do.
const GridShortcut *holdEntry(int key, Qt::KeyboardModifiers modifiers, bool live);

QString description(const GridShortcut &entry);
QString modeText(Mode mode);
// The key as the help page shows it on this platform.
QString keyText(const GridShortcut &entry);

} // namespace Shortcuts
