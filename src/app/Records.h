#pragma once
// Production records: the small file operations every workflow shares, time-stamped names, the
// record folder tree and the choice of the newest firmware file. Paths and text are Windows-1252.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace vst::app {

bool fileExists(std::string_view path);
bool directoryExists(std::string_view path);

// The whole file line by line, every line followed by one LF (a CR before the LF is dropped);
// empty when the file cannot be opened.
std::string readTextFile(std::string_view path);

// Writes the bytes unchanged. A new or replaced file is written to a temporary file in the same
// folder and renamed over the old one; an append adds to the end. True when every byte was written.
bool writeTextFile(std::string_view path, std::string_view text, bool append);
bool appendTextFile(std::string_view path, std::string_view text);
bool fileContainsText(std::string_view path, std::string_view text);

// "dd.mm.yyyy hh:mm:ss".
std::string formatDateTime(const platform::LocalTime& t);
// The current local time in that form.
std::string currentDateTimeText();

// The path with "_yyyy-mm-dd-hh-mm-ss" inserted before its last "."; empty when it has none.
std::string timeStampedName(std::string_view path);

// Moves a record to its time-stamped name without ever replacing another file: the name is
// claimed by creating it exclusively, then the record is renamed over the claim (a rename that
// replaces works on network shares where a no-replace rename does not). A name already taken
// (two set-asides in one second, or another station) gets "_2", "_3", ... before the extension.
// True when the record is missing or was moved; false when it exists and could not be moved.
bool setRecordAside(std::string_view path);

// Sets each named file of the folder aside, in order; false (the rest left in place) as soon as
// an existing record cannot be moved.
bool setRecordsAside(std::string_view folder, std::initializer_list<std::string_view> names);

// Firmware files are named "VestrolanV" + three digits + ".hex"; the digits are the version times
// 100. False when the name (after the last separator) does not have that form.
bool firmwareVersionFromFileName(std::string_view path, float& version);

// The firmware file with the highest version in the folder, as folder + separator + name; empty
// when none qualifies.
std::string newestFirmwareFile(std::string_view folder);

// Names of the record tree.
inline constexpr const char* kSerialLogName = "SNR.LOG";
inline constexpr const char* kBatchFileName = "Charge.txt";
inline constexpr const char* kFinalTestLogName = "Endtest.log";
inline constexpr const char* kRepairLogName = "Reparatur.log";
inline constexpr const char* kEnduranceLogName = "Dauerlauf.log";
inline constexpr const char* kConfigurationName = "config-processlist.bak";
inline constexpr const char* kDefaultConfigurationName = "config-processlist_DEF.bak";
inline constexpr const char* kCustomerConfigurationName = "config-processlist_KD.bak";
inline constexpr const char* kEnduranceFolderName = "_Dauerlauf";
inline constexpr const char* kOperatorListName = "MA.LST";

// root + "SNR_" + serial ("%08d").
std::string deviceFolder(std::string_view root, uint32_t serial);
// deviceFolder + "REP_" + repair number.
std::string repairFolder(std::string_view root, uint32_t serial, std::string_view repairNumber);
// root + "_Dauerlauf" + prefix ("CHRG_" or "REP_") + number.
std::string enduranceRunFolder(std::string_view root, std::string_view prefix, std::string_view number);

}  // namespace vst::app
