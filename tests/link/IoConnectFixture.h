#pragma once

// What the IoConnect tests against the in-process fake SDK share: a fresh
// IoConnect and a reset fake SDK per test, a log of every signal emitted, and
// the form of the IO control sends the fake SDK records.

#include "FakeSdk.h"
#include "LinkFixture.h"

#include <QMetaMethod>

#include <map>
#include <memory>

// Acts on a device's channel the way a table row names.
using Ask = void (*)(IoConnect *io, Channel *ch);
Q_DECLARE_METATYPE(Ask)

// Records every signal IoConnect emits from its creation on.
class SignalLog
{
public:
    explicit SignalLog(IoConnect *io)
    {
        const QMetaObject &mo = DeviceEvents::staticMetaObject; // the link signals
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            if (mo.method(i).methodType() == QMetaMethod::Signal)
                m_spies[mo.method(i).name()] = std::make_unique<QSignalSpy>(io, mo.method(i));
        }
    }
    // The names of the signals emitted, one per emission, sorted.
    QByteArrayList names() const
    {
        QByteArrayList out;
        for (const auto &[name, spy] : m_spies)
            out << QByteArrayList(spy->size(), name);
        return out;
    }
    QVariantList first(const QByteArray &name) const { return m_spies.at(name)->value(0); }

private:
    std::map<QByteArray, std::unique_ptr<QSignalSpy>> m_spies;
};

class IoConnectFixture : public LinkFixture
{
protected:
    void setUpIo()
    {
        FakeSdk::reset();
        io = new IoConnect;
    }
    void tearDownIo()
    {
        FakeSdk::unblockAll();
        tearDownLink();
    }

    // The fake SDK's record of one IO control send.
    static QString sendLine(int av, unsigned type, const char *hex)
    {
        return QStringLiteral("send %1 %2 %3").arg(av).arg(type, 4, 16, QLatin1Char('0')).arg(hex);
    }
};
