#include "account/WindowLogin.h"
#include "diagnostics/MessageHandler.h"
#include "diagnostics/SystemInfo.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    const int fontId =
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/fonts/HELVETICA NEUE.ttf"));
    if (fontId < 0) {
        qWarning("cannot register the application font");
    } else {
        // Style sheets name the font by its historical family name.
        const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
        if (!families.isEmpty())
            QFont::insertSubstitution(QStringLiteral("HELVETICA NEUE"), families.first());
    }
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
