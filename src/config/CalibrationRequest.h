#pragma once
// The energy-sensor calibration request: a worker fills in which sensor it calibrates, the
// operator completes the transformer ratio, the nominal voltage and the nominal current in the
// calibration dialog.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/FixedText.h"
#include "app/Texts.h"

namespace vst::config {

struct CalibrationRequest {
    app::FixedText<20> sensorName;
    uint8_t sensorNumber = 0;
    uint8_t secondaryIsCurrent = 0;  // 1: the transformer's secondary side is a current (A), 0: a voltage (V)
    double primary = 0;              // current ratio, primary side, A
    double secondary = 0;            // current ratio, secondary side, A or V
    double voltage = 0;              // V
    double current = 0;              // A
};

// The four values the operator entered.
struct CalibrationValues {
    double primary = 0;
    double secondary = 0;
    double voltage = 0;
    double current = 0;
};

enum class CalibrationCheck {
    Accepted,
    FieldMissing,         // 31408
    SecondaryNotSmaller,  // 31409
};

app::TextId textIdOf(CalibrationCheck check);

// A number as the operator types it: a decimal comma counts as a point; the leading number is
// read and anything that is not a (finite) number counts as 0. Independent of the C locale.
double parseDecimalNumber(std::string_view text);

// Converts the four entries (primary, secondary, voltage, current) into `values` and checks them:
// every field filled, and the secondary smaller than the primary.
CalibrationCheck checkCalibrationEntries(const std::array<std::string, 4>& texts, CalibrationValues& values);

// Copies the confirmed values into the request.
void completeRequest(CalibrationRequest& request, const CalibrationValues& values);

}  // namespace vst::config
