#include <algorithm>

#include "platform/ChildProcess.h"
#include "platform/Clock.h"

namespace vst::platform {

ChildProcessResult runChildProcess(const ChildProcessRequest& request,
                                   const std::function<void(const std::string&)>& onOutput, size_t keepBytes)
{
    ChildProcessResult result;
    ChildProcess child;
    if (!child.start(request)) return result;
    result.started = true;
    const uint32_t begin = clock().tickCount();
    std::string piece;
    bool more = true;
    while (more) {
        piece.clear();
        more = child.poll(piece);
        if (!piece.empty()) {
            if (onOutput) onOutput(piece);
            const size_t room = keepBytes > result.output.size() ? keepBytes - result.output.size() : 0;
            if (piece.size() > room) result.outputCapped = true;
            result.output.append(piece, 0, std::min(room, piece.size()));
        }
        if (!more) break;
        if (request.timeoutMs && elapsedSince(begin) > request.timeoutMs) {
            child.kill();
            result.timedOut = true;
            piece.clear();
            child.poll(piece);  // whatever was written before the kill
            if (onOutput && !piece.empty()) onOutput(piece);
            break;
        }
        if (piece.empty()) clock().sleep(1);
    }
    result.exitCode = result.timedOut ? -1 : child.exitCode();
    return result;
}

}  // namespace vst::platform
