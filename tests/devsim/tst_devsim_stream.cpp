// What travels over an open AV channel between the P2P C surface and devsim: H.264/H.265
// video with its frame information, quality switching, corrupt frames, A-law audio and talk.
#include "LinkSupport.h"
#include "MediaDecoder.h"

#include "ALaw.h"
#include "IoCtrlType.h"
#include "WavWriter.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

#include <cmath>

using namespace linktest;
using devsim::IoCtrlType::AudioStart;
using devsim::IoCtrlType::QualitySet;
using devsim::IoCtrlType::QualitySetResp;
using devsim::IoCtrlType::SpeakerStart;
using devsim::IoCtrlType::SpeakerStop;
using devsim::IoCtrlType::StreamPrepare;
using devsim::IoCtrlType::VideoStart;
namespace CodecId = devsim::CodecId;

namespace {

const char *const kAccount = "admin";
const char *const kPassword = "stream-pw";

const avAuthFn authAll = [](const char *, char *) { return 1; };

} // namespace

class TestDevsimStream : public QObject
{
    Q_OBJECT

private:
    quint16 m_discoveryPort = 0;
    std::unique_ptr<DevsimLink> m_link;

    // devsim, the library, a session and an AV channel on `channel`; the channel's index.
    int open(const QString &uid, const QStringList &extra, int channel = 0)
    {
        m_link = std::make_unique<DevsimLink>();
        const QStringList args =
            QStringList{"--uid", uid,       "--account", kAccount,  "--password", kPassword,
                        "--sd",  "320x180", "--hd",      "640x360", "--fps",      "15"} +
            extra;
        return m_link->open(args, m_discoveryPort, kAccount, kPassword, channel) ? m_link->av : -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
        m_discoveryPort = randomDiscoveryPort();
        av_log_set_level(AV_LOG_FATAL); // corrupt frames are meant to upset the decoder
    }

    void cleanup() { m_link.reset(); }

    void corruptFramesDoNotEndTheStream()
    {
        const int av = open("BADFRAMECAM", {"--corrupt-frame", "--fps", "25"});
        QVERIFY(av >= 0);
        QVERIFY(sendIo(av, VideoStart, u32s({0, 0})) >= 0);
        MediaDecoder decoder(AV_CODEC_ID_H264);
        const QRegularExpression corrupt("^CORRUPT BADFRAMECAM 0$");
        int decodedAfter = 0;
        for (int i = 0; i < 300 && decodedAfter < 10; ++i) {
            const std::optional<Frame> frame = recvVideo(av, 15000);
            QVERIFY(frame);
            const int pictures = decoder.decode(frame->data);
            if (m_link->sim.waitForLine(corrupt, 0))
                decodedAfter += pictures;
        }
        QVERIFY(m_link->sim.waitForLine(corrupt, 0));
        QVERIFY(decodedAfter >= 10);
    }

    void audioIsALawToneOfTheChannel()
    {
        const int av = open("AUDCAM", {"--channels", "2"}, 1);
        QVERIFY(av >= 0);
        QVERIFY(sendIo(av, AudioStart, QByteArray(4, '\0')) >= 0);
        MediaDecoder decoder(AV_CODEC_ID_PCM_ALAW);
        QVERIFY(decoder.ok());
        while (decoder.samples.size() < 8000) {
            const std::optional<Frame> frame = recvAudio(av, 15000);
            QVERIFY2(frame, "no audio frame");
            QCOMPARE(frame->info.codecId, CodecId::G711ALaw);
            QCOMPARE(int(frame->info.camIndex), 1);
            QCOMPARE(frame->data.size(), 320); // 40 ms at 8 kHz
            decoder.decode(frame->data);
        }
        int crossings = 0;
        for (size_t i = 1; i < 8000; ++i)
            crossings += (decoder.samples[i - 1] < 0) != (decoder.samples[i] < 0);
        // Channel n sounds at 400 + 100 n Hz: channel 1, about 1000 zero crossings a second.
        QVERIFY2(std::abs(crossings - 1000) < 50, qPrintable(QString::number(crossings)));
    }

    // Talk: the client serves a channel the device logs in on; the device decodes what the
    // client sends there and writes it to its WAV file when the talk ends.
    void talkAudioReachesTheDevice()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString wavPath = dir.filePath(QStringLiteral("talk.wav"));
        const int av = open("TALKCAM", {"--talk-wav", wavPath});
        QVERIFY(av >= 0);
        const int ch = IOTC_Session_Get_Free_Channel(m_link->sid);
        QVERIFY(ch > 0);
        QVERIFY(sendIo(av, SpeakerStart, u32s({std::uint32_t(ch), 0})) >= 0);
        int resend = 0;
        const int talkAv = avServStart3(m_link->sid, authAll, 20, 16, std::uint8_t(ch), &resend);
        QVERIFY2(talkAv >= 0, qPrintable(QString::number(talkAv)));
        QVERIFY(m_link->sim.waitForLine(
            QRegularExpression(QStringLiteral("^TALK_OPEN TALKCAM \\d+/%1 0$").arg(ch)), 10000));

        // 25 frames of 40 ms: a rising and falling ramp, coded as A-law.
        std::vector<std::int16_t> pcm(8000);
        for (size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<std::int16_t>(((static_cast<int>(i) * 97) % 20000) - 10000);
        const QByteArray alaw = devsim::ALaw::encode(pcm);
        std::uint8_t info[P2P_FRAME_INFO_SIZE] = {CodecId::G711ALaw, 0, 2};
        for (int offset = 0; offset < alaw.size(); offset += 320)
            QVERIFY(avSendAudioData(talkAv, alaw.constData() + offset, 320, info, 16) >= 0);
        QVERIFY(sendIo(av, SpeakerStop, u32s({std::uint32_t(ch), 0})) >= 0);
        QVERIFY(m_link->sim.waitForLine(
            QRegularExpression(QStringLiteral("^TALK_CLOSE TALKCAM \\d+/%1 8000$").arg(ch)),
            10000));
        avServStop(talkAv);

        QFile wav(wavPath);
        QVERIFY(wav.open(QIODevice::ReadOnly));
        devsim::WavWriter expected(8000);
        expected.append(devsim::ALaw::decode(alaw));
        QCOMPARE(wav.readAll(), expected.toBytes());
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimStream)
#include "tst_devsim_stream.moc"
