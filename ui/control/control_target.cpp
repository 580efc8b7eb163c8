#include "ui/control/control_target.h"

#include <optional>

#include "platform/utf8.h"
#include "ui/presentation/target_lookup.h"

namespace veltra {

ControlTarget ResolveControlTarget(std::string_view target, const std::vector<PeerRow>& rows) {
    const std::wstring typed = platform::Utf8ToWide(std::string(target));
    const TargetMatch match = LookUpTarget(typed, rows);
    if (match.outcome == TargetOutcome::kAddress || match.outcome == TargetOutcome::kFound) {
        return ControlTarget{match.address, {}};
    }
    std::string error;
    for (const std::wstring& line : TargetProblemLines(typed, match)) {
        error += error.empty() ? "" : "\n";
        error += platform::WideToUtf8(line);
    }
    return ControlTarget{0, error};
}

}  // namespace veltra
