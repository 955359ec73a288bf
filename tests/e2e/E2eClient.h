#pragma once

// The real main window signed in locally as the administrator, with
// devsim devices registered in a settings folder of the caller's: the
// fixture of the recording tests and of their child process.

#include "app/MainWindow.h"
#include "config/Config.h"
#include "model/DeviceRecord.h"
#include "model/UserInfo.h"

#include <QSettings>
#include <QWidget>

#include <memory>

class E2eClient
{
public:
    // Call once, before anything reads the configuration.
    static void useSettings(const QString &folder)
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
        Config::forgetInstance();
    }

    static bool registerDevice(const QString &uid, const QString &password, int channels,
                               int type = 1)
    {
        DeviceRecord record;
        record.uid = uid;
        record.nickname = uid;
        record.type = type;
        record.channel = channels;
        record.username = QStringLiteral("admin");
        record.password = password;
        return Config::instance()->saveDevice(record);
    }

    // The login window's hand-over, with a plain host window.
    MainWindow *show()
    {
        host = std::make_unique<QWidget>();
        host->resize(1080, 720);
        window = new MainWindow(host.get());
        UserInfo admin;
        admin.username = QStringLiteral("Admin");
        window->setUser(admin);
        window->fitToParent();
        window->setWindowFlags(Qt::FramelessWindowHint);
        host->show();
        window->start();
        return window;
    }

    std::unique_ptr<QWidget> host;
    MainWindow *window = nullptr;
};
