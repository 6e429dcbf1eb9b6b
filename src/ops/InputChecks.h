#pragma once
// Checks of operator input shared by the dialogs and the console front end.
#include <cstdint>
#include <optional>
#include <string>

#include "app/Texts.h"

namespace vst::ops {

// A dotted address with all four parts given, each 0..255, as a host-byte-order number.
std::optional<uint32_t> parseFourPartAddress(const std::string& text);

struct NetworkInput {
    int dhcpMode = 0;  // 0 off, 1 client, 2 server
    std::string address, mask, gateway, dns1, dns2;
};

struct NetworkValues {
    uint32_t address, mask, gateway, dns1, dns2;  // host byte order
};

// The first refusal in the dialog's order (address, mask, gateway, DNS 1, DNS 2), or the values.
std::optional<app::TextId> checkNetworkInput(const NetworkInput& input, NetworkValues& values);

// A serial number as the serial-number dialog takes it: digits, 1 to 99999999.
std::optional<app::TextId> checkSerialInput(const std::string& text, uint32_t& serial);

}  // namespace vst::ops

namespace vst::ops {

// Text 37050: a repair or batch number that cannot be part of a folder name.
inline constexpr app::TextId kFolderNumberText = 37050;

// A repair or batch number as it becomes part of a folder name: `emptyText` when it is empty,
// 37050 when it holds \ / : * ? " < > | or a control character, or ends with a dot or a blank
// (the file system would drop those, so two numbers would name one folder).
std::optional<app::TextId> checkFolderNumber(const std::string& number, app::TextId emptyText);

}  // namespace vst::ops
