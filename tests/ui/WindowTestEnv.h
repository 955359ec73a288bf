#pragma once

#include "../core/ConfigTestEnv.h"

#include "diagnostics/SystemInfo.h"

#include <QTest>
#include <QWidget>

// Surroundings shared by the window tests: the settings in a fresh temporary
// folder, the UI scale back at 1, and a lookup of a window's named children.
class WindowTestEnv : public ConfigTestEnv
{
public:
    WindowTestEnv() { SystemInfo::instance()->setScale(1.0); }

    // The child of window with this type and object name; warns when missing.
    template<class T>
    static T *child(const QWidget *window, const char *name)
    {
        T *w = window ? window->findChild<T *>(QLatin1String(name)) : nullptr;
        if (!w)
            qWarning("no child %s", name);
        return w;
    }

    // Shows a top-level window and waits until it is on screen.
    static bool show(QWidget *window)
    {
        window->show();
        return QTest::qWaitForWindowExposed(window);
    }
};
