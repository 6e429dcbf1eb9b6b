#include "ops/Starter.h"

namespace vst::ops {

StartOutcome refuse(StarterHost& host, app::TextId text, uint32_t style)
{
    host.prompt().messageBox(app::loadText(text), style);
    return StartOutcome::Refused;
}

bool confirm(StarterHost& host, app::TextId text)
{
    const uint32_t style = app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2;
    return host.prompt().messageBox(app::loadText(text), style) == app::kIdYes;
}

}  // namespace vst::ops
