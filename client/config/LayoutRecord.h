#pragma once

#include <QList>
#include <QRect>
#include <QString>

// One cell of a stored layout: the device's UID and its channel (the index,
// from 0). An empty UID is an empty cell, whose channel is -1.
struct LayoutCell
{
    QString uid;
    int channel = -1;

    bool isEmpty() const { return uid.isEmpty(); }
    bool operator==(const LayoutCell &o) const { return uid == o.uid && channel == o.channel; }
    bool operator!=(const LayoutCell &o) const { return !(*this == o); }
};

// A named layout: the grid's window count (a WINDOW_MOD value) and which
// channel is shown in which cell, in grid order; cells past the end of the
// list are empty. A layout opened in its own top-level window remembers that
// window's screen (-1: none remembered), full-screen state and geometry (null:
// none remembered), so that it opens there again at the next start.
struct LayoutRecord
{
    QString name;
    int windowMod = 0;
    QList<LayoutCell> cells;

    bool ownWindow = false;
    int screen = -1;
    bool fullScreen = false;
    QRect geometry;

    bool operator==(const LayoutRecord &o) const
    {
        return name == o.name && windowMod == o.windowMod && cells == o.cells &&
               ownWindow == o.ownWindow && screen == o.screen && fullScreen == o.fullScreen &&
               geometry == o.geometry;
    }
    bool operator!=(const LayoutRecord &o) const { return !(*this == o); }
};
