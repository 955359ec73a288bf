#pragma once

#include <QEvent>

// Type numbers of the events by which background tasks report to the GUI
// thread. One sequence shared by the link, media and diagnostics code; the
// owners of 1018-1020, 1026 and 1029 define those classes with these numbers.
namespace LinkEventType {
enum : int {
    Connect = QEvent::User, // 1000
    LanSearch = 1001,
    StopStream = 1002,
    StartStream = 1003,
    GetReplayVideoTime = 1004,
    GetAvIndex = 1005,
    PlayReplay = 1006,
    PlayReplayIo = 1007,
    StopReplay = 1008,
    ChangeQuality = 1009,
    AudioControl = 1010,
    Ptz = 1011,
    GetMsg = 1012,
    AudioSendControl = 1013,
    AudioSendServiceStart = 1014,
    AudioSendSpeechStart = 1015,
    LanSearchStart = 1016,
    GetChannelVersion = 1017,
    DecodeGetVideo = 1018,
    DecodeGetAudio = 1019,
    VideoDecoded = 1020,
    AudioDecoded = 1021,
    PauseReplay = 1022,
    StopPauseReplay = 1023,
    SetTime = 1024,
    SetTimeZone = 1025,
    VideoIncoming = 1026,
    ChangeReplayTime = 1027,
    SetWifi = 1028,
    DebugGetDebug = 1029,
    IoReady = 1030,
    IoSent = 1031,
};
static_assert(Connect == 1000, "the event numbering starts at QEvent::User");
} // namespace LinkEventType
