// Channel sound and talk without a sound card: the mixer, A-law decoding into
// the recording tap, and the talk blocks sent to every talking channel
// through the fake SDK.

#include "FakeSdk.h"

#include "link/ChannelBufferItem.h"
#include "media/Audio.h"
#include "media/AudioFrameTap.h"
#include "media/AudioMixer.h"
#include "media/AudioSend.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QtTest>
#include "TestMain.h"

#include <mutex>

#include <vector>

namespace {

// Called on the media workers.
struct Tap : AudioFrameTap
{
    std::mutex lock;
    QList<std::vector<int16_t>> blocks;
    void audioSamples(Channel *, bool, const int16_t *s, int n, const ChannelBufferItem &) override
    {
        std::lock_guard<std::mutex> l(lock);
        blocks.append(std::vector<int16_t>(s, s + n));
    }
    QList<std::vector<int16_t>> taken()
    {
        std::lock_guard<std::mutex> l(lock);
        return blocks;
    }
};

} // namespace

class TestAudio : public QObject
{
    Q_OBJECT

private slots:
    // Source A: a samples of 1000 (live); B: b samples of 32000 (playback).
    void mixerSumsAlignedSourcesAtTheVolume_data()
    {
        QTest::addColumn<QList<int>>("abVolume"); // a, b, volume (10 = unchanged)
        QTest::addColumn<int>("first");           // first mixed sample; -1: nothing plays
        QTest::addColumn<int>("pendingA");
        const int start = AudioMixer::StartSamples;
        QTest::newRow("volume 10 leaves samples unchanged")
            << QList{start, 0, 10} << 1000 << start - 100;
        QTest::newRow("volume 0 is silence") << QList{start, 0, 0} << 0 << start - 100;
        QTest::newRow("two sources sum, clipped")
            << QList{start, start, 10} << 32767 << start - 100;
        QTest::newRow("half volume") << QList{start, start, 5} << 16500 << start - 100;
        QTest::newRow("below the start level nothing plays")
            << QList{start - 1, 0, 10} << -1 << start - 1;
        QTest::newRow("a backlog is cut to the start level")
            << QList{3000, 0, 10} << 1000 << start - 100;
    }
    void mixerSumsAlignedSourcesAtTheVolume()
    {
        QFETCH(QList<int>, abVolume);
        QFETCH(int, first);
        AudioMixer mixer;
        const int x = 0, a = abVolume[0], b = abVolume[1];
        mixer.push(&x, true, std::vector<int16_t>(size_t(a), 1000).data(), a);
        mixer.push(&x, false, std::vector<int16_t>(size_t(b), 32000).data(), b);
        std::vector<int16_t> out(100, -1);
        QCOMPARE(mixer.mix(100, abVolume[2], out.data()), first >= 0);
        QCOMPARE(out.front(), int16_t(first));
        QCOMPARE(out.back(), out.front());
        QTEST(mixer.pending(&x, true), "pendingA");
    }

    void framesDecodeAsAlawIntoTheTap_data()
    {
        QTest::addColumn<QList<int>>("codecLengthListened");
        QTest::addColumn<int>("samples"); // -1: no block
        QTest::newRow("codec 138") << QList{138, 320, 1} << 320;
        QTest::newRow("codec 137 is A-law too") << QList{137, 160, 1} << 160;
        QTest::newRow("empty frame") << QList{138, 0, 1} << -1;
        QTest::newRow("oversized length is cut to the buffer") << QList{138, 5000, 1} << 1024;
        QTest::newRow("not listened") << QList{138, 320, 0} << -1;
    }
    void framesDecodeAsAlawIntoTheTap()
    {
        QFETCH(QList<int>, codecLengthListened);
        QFETCH(int, samples);
        Device device;
        device.setChannelCount(1);
        Channel *ch = device.channel(0);
        ch->setAudioOn(codecLengthListened[2] != 0, true);
        Audio audio;
        Tap tap;
        audio.setFrameTap(&tap);
        auto *item = new ChannelBufferItem(FrameBufferPool::audio());
        std::memset(item->data, 0xD5, size_t(item->capacity)); // A-law for +8
        item->audioLength = codecLengthListened[1];
        item->setFrame(uint16_t(codecLengthListened[0]), false, 0, 0);
        audio.play(ch, true, item);
        if (samples < 0)
            QTest::qWait(100);
        QTRY_COMPARE(tap.taken().size(), samples < 0 ? 0 : 1);
        if (samples >= 0) {
            const QList<std::vector<int16_t>> blocks = tap.taken();
            QCOMPARE(int(blocks[0].size()), samples);
            QCOMPARE(blocks[0].front(), int16_t(8));
            QVERIFY(ch->slot(true).audioDecoder.ready());
        }
        QCOMPARE(audio.setUpDecoder(ch, true, 86018 /* AAC */), 1);
        audio.releaseChannel(ch);
    }

    void talkSendsEveryBlockToEveryTalkingChannel_data()
    {
        QTest::addColumn<int>("talking"); // channels 0..talking-1 talk, of 3
        QTest::addColumn<QList<int>>("chunks");
        QTest::addColumn<int>("packets"); // per talking channel
        QTest::addColumn<int>("pending");
        QTest::newRow("small chunks collect one block")
            << 1 << QList<int>{200, 200, 200, 200} << 1 << 160;
        QTest::newRow("1600 bytes, nothing pending") << 1 << QList<int>{1600} << 2 << 320;
        QTest::newRow("pending filled, then whole blocks")
            << 1 << QList<int>{100, 1300} << 2 << 120;
        QTest::newRow("two channels get every chunk") << 2 << QList<int>{300, 400} << 1 << 60;
        QTest::newRow("nobody talks: discarded") << 0 << QList<int>{1600} << 0 << 0;
    }
    void talkSendsEveryBlockToEveryTalkingChannel()
    {
        QFETCH(int, talking);
        QFETCH(QList<int>, chunks);
        QFETCH(int, packets);
        FakeSdk::install();
        FakeSdk::reset();
        auto *device = new Device;
        device->setUid(QStringLiteral("TALKER"));
        device->setChannelCount(3);
        device = Dev::instance()->addOrUpdate(device);
        for (int i = 0; i < talking; ++i) {
            device->channel(i)->setTalking(true);
            device->channel(i)->setTalkAvIndex(60 + i);
        }
        AudioSend send{QAudioDevice()};
        QVERIFY(!send.start()); // no microphone: talk cannot start
        for (int n : chunks)
            send.send(QByteArray(n, '\0'));
        for (int i = 0; i < 3; ++i) {
            const QList<FakeSdk::Frame> sent = FakeSdk::state().sentAudio.value(60 + i);
            QCOMPARE(sent.size(), i < talking ? packets : 0);
            for (const FakeSdk::Frame &f : sent) {
                QCOMPARE(f.data, QByteArray(320, char(0xD5))); // silence, A-law coded
                QCOMPARE(f.info, AudioSend::frameHeader());
            }
            if (i < talking)
                QTEST(device->channel(i)->talk().talkPending, "pending");
        }
        QCOMPARE(AudioSend::frameHeader().left(3), QByteArray("\x8a\x00\x02", 3));
        Dev::instance()->removeDevice(device);
        delete device;
    }
};

ORVANE_TEST_GUILESS_MAIN(TestAudio)
#include "tst_audio.moc"
