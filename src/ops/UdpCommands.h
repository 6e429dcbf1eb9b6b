#pragma once
// The four device settings that travel over UDP: network configuration, name, and the whole
// configuration as a backup file and back. Each runs on a worker, reports one result and finds
// the device again after a change.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/FixedText.h"
#include "app/Texts.h"
#include "net/DeviceRecord.h"
#include "net/UdpProtocol.h"
#include "ops/WorkerChannel.h"

namespace vst::ops {

class LogWindow;

struct UdpCommandParams {
    WorkerChannel* channel = nullptr;
    net::DeviceRecord* device = nullptr;  // owned by the device list
    net::Password password;               // sent only when the device asks for one
    app::FixedText<260> filePath;         // backup and restore
    bool broadcast = false;               // network configuration, backup, restore
    LogWindow* log = nullptr;
    uint16_t devicePort = net::kDevicePort;
};

inline constexpr uint32_t kCommandAnswerTimeoutMs = 3000;  // "#I", "#N"
inline constexpr uint32_t kChunkAnswerTimeoutMs = 1000;    // ">B", "!R"
inline constexpr uint32_t kRestartWaitMs = 15000;
inline constexpr int kMaxCommandSendFailures = 3;
inline constexpr size_t kRestoreLineMax = net::kRestoreTextMax;

bool sendNetworkConfiguration(UdpCommandParams& params);
bool sendDeviceName(UdpCommandParams& params);
bool backupConfiguration(UdpCommandParams& params);
bool restoreConfiguration(UdpCommandParams& params);

// Text 37403: the device sent an empty configuration, nothing was saved.
inline constexpr app::TextId kEmptyConfigurationText = 37403;
// The service operation "Backup" (the button and the console command): the backup above, except
// that a device whose answers hold no configuration byte (nothing but line ends, the one the
// station writes after the user configuration included) has given no backup. That is a failure
// (37403): no file is written and an earlier file of that name stays. The workflows' own backups
// take an empty configuration as it is (a blank board may have nothing to give).
bool serviceBackup(UdpCommandParams& params);

// One chunk of a restore: a line of the backup file with its mode.
struct RestoreChunk {
    char mode;         // 'R' first, 'C' further, 'S' switch to the process list, 'F' final
    std::string text;  // the line without its line feed
    int32_t position;  // progress position after this chunk, -1 for none
};

// Splits a backup file into its chunks: every line (ended by a line feed or by the end of the
// file) is one chunk; a CR directly before a line feed is dropped, every other byte goes as it
// is; an empty line switches to the process list; the last line with text is final (empty lines
// after it carry nothing). False, and nothing is to be sent, when the file holds a NUL byte, has
// no line with text, or a line is longer than one chunk can carry.
bool splitRestoreFile(const std::string& bytes, std::vector<RestoreChunk>& chunks);

// A backup answer ">B" as taken from the network (at least the header): the device refused (its
// status byte is 0), the chunk state ('S' switch to the process list, 'F' final, else more
// follows; NUL when the datagram ends before it) and the text, which ends at its NUL, at the end
// of its 250-byte field or at the end of the datagram.
struct BackupAnswer {
    bool refused = false;
    char chunkState = '\0';
    std::string_view text;
};
BackupAnswer readBackupAnswer(const uint8_t* datagram, size_t size);

// The reply byte of a restore answer "!R" ('F' when the device took the final chunk), NUL when
// the datagram ends before it.
char restoreReply(const uint8_t* datagram, size_t size);

}  // namespace vst::ops
