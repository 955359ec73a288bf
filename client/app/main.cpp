#include "account/WindowLogin.h"
#include "diagnostics/MessageHandler.h"
#include "diagnostics/SystemInfo.h"

#include <QApplication>
#include <QFontDatabase>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    if (QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/fonts/HELVETICA NEUE.ttf")) < 0)
        qWarning("cannot register the application font");
    SystemInfo::instance()->setScale(SystemInfo::screenScale());

    int result = 0;
    {
        WindowLogin login;
        installMessageHandler();
        login.show();
        result = app.exec();
    }
    return result;
}
