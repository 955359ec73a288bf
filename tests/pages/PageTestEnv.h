#pragma once

#include "../ui/WindowTestEnv.h"

#include <QDir>
#include <QWidget>

// Window surroundings for one control-panel page, and its picture for the
// test artifacts when ORVANE_TEST_ARTIFACTS names a folder.
class PageTestEnv : public WindowTestEnv
{
public:
    static void saveArtifact(QWidget *page, const char *fileName)
    {
        const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        if (dir.isEmpty())
            return;
        page->resize(700, 480);
        if (!show(page))
            return;
        QDir().mkpath(dir);
        QVERIFY(page->grab().save(QDir(dir).filePath(QLatin1String(fileName))));
    }
};
