#pragma once
// The device list as a spreadsheet file: the window's "Export list" and the console's
// "search --csv" write the same bytes.
#include <string>

#include "ops/DeviceList.h"

namespace vst::ops {

// UTF-8 with a byte-order mark, CR LF line ends, ';' between fields. A header row of the list's
// column titles in the current language, then "Karte"/"Card" and "Produktart"/"Product kind";
// then one row per listed device in list order: the six column texts as the list shows them, the
// index of the card the device answered through, the product kind as a number. A field holding
// ';', '"', CR or LF is put in '"' with every '"' doubled. A device name (it comes from the network)
// that begins with '=', '+', '-' or '@' gets a leading "'", so that a spreadsheet never runs it as
// a formula.
std::string deviceListCsv(const DeviceList& list);

}  // namespace vst::ops
