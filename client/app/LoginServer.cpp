#include "app/LoginServer.h"

#include "core/AccountSettings.h"
#include "core/ServerAddress.h"

#include <QLineEdit>
#include <QMessageBox>

LoginServer::LoginServer(QLineEdit *edit, QWidget *dialogParent)
    : QObject(edit)
    , m_edit(edit)
    , m_dialogParent(dialogParent)
    , m_ask([this](const ServerTrust::Untrusted &u) { return askUser(u); })
{
    m_edit->setMaxLength(ServerAddress::MaxLength);
    m_edit->setText(AccountSettings::baseUrl());
}

QString LoginServer::apply(QString *error)
{
    const QString base = ServerAddress::normalized(m_edit->text(), error);
    if (base.isEmpty())
        return QString();
    m_edit->setText(base);
    if (base != AccountSettings::baseUrl())
        AccountSettings::setBaseUrl(base);
    return base;
}

bool LoginServer::settle(const ServerTrust::Untrusted &u, QString *message)
{
    if (u.keyChanged()) {
        m_ask(u);
        *message = tr("Refused: the server shows another key than the one you trusted.");
        return false;
    }
    if (!m_ask(u)) {
        *message = tr("The server's certificate is not trusted.");
        return false;
    }
    if (!ServerTrust::pin(u.server, u.fingerprint)) {
        *message = tr("The server's key could not be stored.");
        return false;
    }
    return true;
}

bool LoginServer::askUser(const ServerTrust::Untrusted &u) const
{
    if (u.keyChanged()) {
        QMessageBox::warning(
            m_dialogParent, tr("Server key changed"),
            tr("%1 now shows a different key than the one you trusted.\n\n"
               "Trusted key (SHA-256):\n%2\n\nKey shown now:\n%3\n\n"
               "The connection is refused. Ask the service's administrator whether the key "
               "really changed.")
                .arg(u.server, ServerTrust::shown(u.pinned), ServerTrust::shown(u.fingerprint)));
        return false;
    }
    QMessageBox box(QMessageBox::Warning, tr("Untrusted server"),
                    tr("The certificate of %1 is not issued by an authority this system "
                       "trusts.\n\nIssued by: %2\nKey (SHA-256):\n%3\n\n"
                       "Trust this server's key from now on? Say yes only if the fingerprint "
                       "is the one the service's administrator gave you.")
                        .arg(u.server, u.issuer, ServerTrust::shown(u.fingerprint)),
                    QMessageBox::Yes | QMessageBox::No, m_dialogParent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
