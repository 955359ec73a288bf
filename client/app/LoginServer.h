#pragma once

#include "core/ServerTrust.h"

#include <QObject>

#include <functional>

class QLineEdit;
class QWidget;

// The login window's "Server" entry (the account service's address, shown
// from and stored into the settings) and what a login asks when the server's
// certificate is one the system does not trust: its key's fingerprint and
// issuer, to be trusted from now on (pinned) or not; a key other than the
// one pinned is refused, both fingerprints shown. GUI thread only.
class LoginServer : public QObject
{
    Q_OBJECT

public:
    // Shows the question for u; true when the user trusts the key. For a
    // changed key it only tells, and returns false.
    using Ask = std::function<bool(const ServerTrust::Untrusted &u)>;

    LoginServer(QLineEdit *edit, QWidget *dialogParent);

    // The typed address, checked, shown normalised and stored; empty and
    // *error when it cannot be used.
    QString apply(QString *error);
    // After a login refused on the certificate: true when the user trusted
    // the key (it is pinned now: sign in again); else *message says why not.
    bool settle(const ServerTrust::Untrusted &u, QString *message);
    void setAsk(Ask ask) { m_ask = std::move(ask); }

private:
    bool askUser(const ServerTrust::Untrusted &u) const;

    QLineEdit *m_edit;
    QWidget *m_dialogParent;
    Ask m_ask;
};
