#pragma once
// Every bound the station puts on what a device may send and on how long it may take. A faulty or
// hostile device must never keep an operation running forever or make the station hold an
// unbounded amount of data. Tests shorten these waits through the controllable clock, never by
// changing them here.
#include <cstddef>
#include <cstdint>

namespace vst::net {

// ---- web exchanges ---------------------------------------------------------------------------

// A device may think for five minutes before the first byte of its answer.
inline constexpr uint32_t kFirstByteTimeoutMs = 300000;
// Once it answers, 30 s without any byte is the end.
inline constexpr uint32_t kSilenceTimeoutMs = 30000;
// After the device closed, the rest of its bytes must be read within 5 s.
inline constexpr uint32_t kDrainTimeoutMs = 5000;
// Queued bytes that the socket does not take for 3 s.
inline constexpr uint32_t kSendStallTimeoutMs = 3000;
// A device on the local network accepts a connection at once.
inline constexpr uint32_t kConnectTimeoutMs = 5000;

// A document, form or login answer must be whole within this time after its first byte.
inline constexpr uint32_t kWholeAnswerTimeoutMs = 120000;
// A line stream (process-list test, calibration information) has no overall limit, but fails when
// no complete line arrives for this long; bytes without a line feed are no progress.
inline constexpr uint32_t kLineProgressTimeoutMs = 30000;
// ... and when it carries more lines than this.
inline constexpr uint32_t kMaxStreamLines = 100000;
// The firmware upload gets 300 s plus 1 s per 10 KiB of firmware to send its request.
inline constexpr uint32_t kUploadBaseTimeoutMs = 300000;
inline constexpr uint32_t kUploadBytesPerSecond = 10 * 1024;
// The head of an answer: at most this many header lines (the status line included) and bytes.
inline constexpr uint32_t kMaxHeaderLines = 100;
inline constexpr size_t kMaxHeadBytes = 16 * 1024;
// While the socket takes no more bytes, the sender waits on it at most this long per poll.
inline constexpr uint32_t kSocketWaitSliceMs = 10;

// ---- UDP commands ----------------------------------------------------------------------------

// A backup stops after this many bytes of chunk text or this many chunks.
inline constexpr size_t kMaxBackupBytes = 4 * 1024 * 1024;
inline constexpr uint32_t kMaxBackupChunks = 20000;
// A single pass of a receiving loop handles at most this many datagrams, so a flood neither
// stalls the loop nor hides the time limit.
inline constexpr int kMaxDatagramsPerPass = 64;
// A device search takes more per pass: a thousand devices answer one broadcast at once.
inline constexpr int kMaxSearchAnswersPerPass = 4096;
// Datagrams dropped before a request is sent (stale answers, duplicates), at most.
inline constexpr int kMaxStaleDatagramsDrained = 1024;

}  // namespace vst::net
