#pragma once

#include <cstdint>

namespace devsim {

// IO control message types a device receives and sends.
namespace IoCtrlType {
constexpr std::uint32_t StreamPrepare = 0x00FF;
constexpr std::uint32_t VideoStart = 0x01FF;
constexpr std::uint32_t VideoStop = 0x02FF;
constexpr std::uint32_t AudioStart = 0x0300;
constexpr std::uint32_t AudioStop = 0x0301;
constexpr std::uint32_t RecordListReq = 0x0318;
constexpr std::uint32_t RecordListResp = 0x0319;
constexpr std::uint32_t PlaybackControl = 0x031A;
constexpr std::uint32_t PlaybackControlResp = 0x031B;
constexpr std::uint32_t QualitySet = 0x0320;
constexpr std::uint32_t QualitySetResp = 0x0321;
constexpr std::uint32_t PlaybackSeek = 0x033C;
constexpr std::uint32_t PlaybackSeekResp = 0x033D;
constexpr std::uint32_t WifiSet = 0x0342;
constexpr std::uint32_t WifiSetResp = 0x0343;
constexpr std::uint32_t SpeakerStart = 0x0350;
constexpr std::uint32_t SpeakerStop = 0x0351;
constexpr std::uint32_t PlaybackBusy = 0x0701;
constexpr std::uint32_t PlaybackCapsReq = 0x0740;
constexpr std::uint32_t PlaybackCapsResp = 0x0741;
constexpr std::uint32_t PlaybackSpeed = 0x0742;
constexpr std::uint32_t PlaybackSpeedResp = 0x0743;
constexpr std::uint32_t PlaybackStep = 0x0744;
constexpr std::uint32_t PlaybackStepResp = 0x0745;
constexpr std::uint32_t ThumbnailReq = 0x0746;
constexpr std::uint32_t ThumbnailResp = 0x0747;
constexpr std::uint32_t ExportStart = 0x0748;
constexpr std::uint32_t ExportResp = 0x0749;
constexpr std::uint32_t ExportEnd = 0x074A;
constexpr std::uint32_t ExportStop = 0x074B;
constexpr std::uint32_t ExportAck = 0x074C;
constexpr std::uint32_t PtzShort = 0x1001;
constexpr std::uint32_t PtzLong = 0x1012;
constexpr std::uint32_t VersionReq = 0x331B;
constexpr std::uint32_t VersionResp = 0x331C;
constexpr std::uint32_t TimeSet = 0x331E;
constexpr std::uint32_t TimezoneSet = 0x332E;
constexpr std::uint32_t TimezoneSetResp = 0x332F;
} // namespace IoCtrlType

// Frame codec ids.
namespace CodecId {
constexpr std::uint16_t H264 = 78;
constexpr std::uint16_t H265 = 80;
constexpr std::uint16_t G711ALaw = 138;
} // namespace CodecId

} // namespace devsim
