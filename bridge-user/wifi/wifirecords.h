#pragma once

#include <cstdint>

namespace ferry::binder {
class Writer;
}

// The HIDL records the emulated Wi-Fi HAL and supplicant write into their
// replies, each with the child buffers of its embedded strings and vectors
// in the order Android's readers expect them.
namespace WifiRecords {

// WifiStatus and SupplicantStatus share one shape: uint32 code, then a
// hidl_string (here always empty) at offset 8; 24 bytes.
constexpr uint32_t kStatusSize = 24;
// IWifiChip::ChipDebugInfo: two hidl_strings.
constexpr uint32_t kChipDebugInfoSize = 32;
// StaLinkLayerStats: iface stats (136 bytes), vec<radio stats>, uint64 time.
constexpr uint32_t kLinkLayerStatsSize = 160;
constexpr uint32_t kLinkLayerStatsRadiosOffset = 136;
// StaBackgroundScanCapabilities: four 32-bit fields.
constexpr uint32_t kBackgroundScanCapabilitiesSize = 16;

void appendStatus(ferry::binder::Writer &writer, uint32_t code);
void appendEmptyVector(ferry::binder::Writer &writer);
// vec<ChipMode> of one mode, id 0: one combination of one limit allowing a
// single station interface.
void appendChipModes(ferry::binder::Writer &writer);
void appendChipDebugInfo(ferry::binder::Writer &writer);
void appendLinkLayerStats(ferry::binder::Writer &writer);
// ISupplicant's vec<IfaceInfo> of the one station interface "wlan0".
void appendStationIfaceInfos(ferry::binder::Writer &writer);

} // namespace WifiRecords
