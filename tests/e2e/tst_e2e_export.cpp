// Export of a marked range to MP4 end to end, in UTC: the real client
// (main window, device registry, P2P link) against a devsim DVR of two
// channels with a recording yesterday at 01:00-01:30. Two minutes of both
// channels become one file each that ffprobe reads in full, as long as the
// range, with the device's picture size and its sound; a cancelled export
// leaves nothing that looks complete.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "app/MainWindow.h"
#include "media/ExportJob.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "playback/ExportDialog.h"
#include "view/ViewControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString Uid = QStringLiteral("E2EEXPORT0000000001");
const QString Ffprobe = QStringLiteral("/usr/bin/ffprobe");
constexpr int RangeSec = 120;
constexpr int GopSec = 2;

} // namespace

class tst_E2eExport : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    QTemporaryDir exportDir;
    DevsimProcess sim;
    E2eClient client;
    QList<Channel *> channels;
    qint64 from = 0;

    // ffprobe's view of a file: its streams and duration, after decoding
    // every picture; an error text when it complained.
    QJsonObject ffprobe(const QString &path, QString *errors)
    {
        QProcess p;
        p.start(Ffprobe, {"-v", "error", "-count_frames", "-show_entries",
                          "format=duration:stream=codec_type,width,height,nb_read_frames", "-of",
                          "json", path});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            *errors = QStringLiteral("ffprobe ended with %1").arg(p.exitCode());
        const QByteArray err = p.readAllStandardError().trimmed();
        if (!err.isEmpty())
            *errors += QString::fromLocal8Bit(err);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTime()), 0);
        QVERIFY(settingsDir.isValid() && exportDir.isValid());
        E2eClient::useSettings(settingsDir.path());
        const quint16 discovery = DevsimProcess::anyDiscoveryPort();
        sim.setDiscoveryPort(discovery);
        QVERIFY2(sim.start({"--uid", Uid, "--password", "ex", "--type", "1", "--channels", "2",
                            "--sd", "640x360", "--gop", QString::number(GopSec), "--record-days",
                            "3", "--recordings", "01:00-01:30"}),
                 qPrintable(sim.errorText()));
        DevsimProcess::pointClientAt({&sim}, discovery);
        QVERIFY(E2eClient::registerDevice(Uid, QStringLiteral("ex"), 2));
        client.show();
        QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
        QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(Uid), 10000);
        Device *device = Dev::instance()->deviceByUid(Uid);
        channels = {device->channel(0), device->channel(1)};
        for (int i = 0; i < channels.size(); ++i)
            if (!ViewControl::instance()->cellOf(channels[i]))
                ViewControl::instance()->openInCell(channels[i], i);
        for (Channel *ch : channels)
            QTRY_VERIFY_WITH_TIMEOUT(ch->avIndex(true) >= 0, 30000);
        const QDate yesterday = QDate::currentDate().addDays(-1);
        from = QDateTime(yesterday, QTime(1, 10, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    }
    void cleanupTestCase()
    {
        client.host.reset();
        sim.stop();
    }

    void twoMinutesOfTwoChannelsBecomeTwoFiles()
    {
        const QString folder = QDir(exportDir.path()).filePath(QStringLiteral("done"));
        const int mark = sim.lineCount();
        QElapsedTimer wall;
        wall.start();
        QPointer<ExportDialog> dialog =
            ExportDialog::start(client.window, channels, from, from + RangeSec * 1000LL, folder);
        QSignalSpy finished(dialog->job(), &ExportJob::finished);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 150000);
        const double seconds = wall.elapsed() / 1000.0;
        QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][1].toString()));
        qInfo("export rate: %.1f recording seconds per wall second per channel (%d s of %d "
              "channels in %.1f s)",
              RangeSec / seconds, RangeSec, int(channels.size()), seconds);

        const QStringList files = finished[0][2].toStringList();
        QCOMPARE(files.size(), 2);
        QCOMPARE(dialog->findChild<QProgressBar *>(QStringLiteral("export_progress"))->value(),
                 100);
        QVERIFY(
            dialog->findChild<QPushButton *>(QStringLiteral("export_open_folder"))->isVisible());
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2); // no .part beside them
        const QString start = QDateTime::fromMSecsSinceEpoch(from).toLocalTime().toString(
            QStringLiteral("yyyyMMdd-HHmmss"));
        // What devsim sent: END's counts per channel, sound among them.
        const QRegularExpression end(QStringLiteral("^EXPORT .* end (\\d) \\d+ (\\d+) (\\d+)$"));
        QTRY_COMPARE_WITH_TIMEOUT(sim.matchingLines(end, mark).size(), 2, 5000);
        const QString artifacts = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        for (int i = 0; i < 2; ++i) {
            const QString name = QStringLiteral("%1_CH%2_%3.mp4").arg(Uid).arg(i + 1).arg(start);
            QCOMPARE(QFileInfo(files[i]).fileName(), name);
            QRegularExpressionMatch sent;
            for (const QString &line : sim.matchingLines(end, mark))
                if (end.match(line).captured(1).toInt() == i)
                    sent = end.match(line);
            QVERIFY(sent.hasMatch());
            const bool sound = sent.captured(3).toInt() > 0;
            if (!artifacts.isEmpty() && QDir().mkpath(artifacts)) {
                const QString copy =
                    QDir(artifacts).filePath(QStringLiteral("export-ch%1.mp4").arg(i + 1));
                QFile::remove(copy);
                QVERIFY(QFile::copy(files[i], copy));
            }
            if (!QFile::exists(Ffprobe)) {
                qInfo("ffprobe is not installed: the files are not probed");
                continue;
            }
            QString errors;
            const QJsonObject probe = ffprobe(files[i], &errors);
            QVERIFY2(errors.isEmpty(), qPrintable(name + u' ' + errors));
            const double duration = probe[u"format"][u"duration"].toString().toDouble();
            QVERIFY2(qAbs(duration - RangeSec) <= GopSec,
                     qPrintable(QStringLiteral("%1: %2 s").arg(name).arg(duration)));
            bool audio = false;
            int pictures = 0;
            for (const QJsonValue &s : probe[u"streams"].toArray()) {
                if (s[u"codec_type"].toString() == u"audio")
                    audio = true;
                if (s[u"codec_type"].toString() != u"video")
                    continue;
                QCOMPARE(s[u"width"].toInt(), 640);
                QCOMPARE(s[u"height"].toInt(), 360);
                pictures = s[u"nb_read_frames"].toString().toInt();
            }
            QCOMPARE(pictures, sent.captured(2).toInt()); // every picture decodes
            QCOMPARE(audio, sound);
        }
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
    }

    void cancelledExportLeavesNoFile()
    {
        const QString folder = QDir(exportDir.path()).filePath(QStringLiteral("cancelled"));
        const int mark = sim.lineCount();
        QPointer<ExportDialog> dialog =
            ExportDialog::start(client.window, channels, from, from + RangeSec * 1000LL, folder);
        QSignalSpy finished(dialog->job(), &ExportJob::finished);
        auto *bar = dialog->findChild<QProgressBar *>(QStringLiteral("export_progress"));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() >= 10, 60000);
        QVERIFY(finished.isEmpty());
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("export_cancel")),
                          Qt::LeftButton);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!finished[0][0].toBool());
        QVERIFY(finished[0][2].toStringList().isEmpty());
        QVERIFY2(QDir(folder).entryList(QDir::Files).isEmpty(),
                 qPrintable(QDir(folder).entryList(QDir::Files).join(u' ')));
        // The device stops sending.
        QTRY_COMPARE_WITH_TIMEOUT(
            sim.matchingLines(QRegularExpression(QStringLiteral("^EXPORT .* cancel ")), mark)
                .size(),
            2, 10000);
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
    }
};

ORVANE_TEST_MAIN(tst_E2eExport)
#include "tst_e2e_export.moc"
