#include "common/outcome_code.h"

namespace veltra {

std::string_view OutcomeCode(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::kStored:
            return "stored";
        case FileOutcome::kConnectionLost:
            return "connection_lost";
        case FileOutcome::kUnreachable:
            return "unreachable";
        case FileOutcome::kDiskFull:
            return "disk_full";
        case FileOutcome::kCannotCreate:
            return "cannot_create";
        case FileOutcome::kWriteFailed:
            return "write_failed";
        case FileOutcome::kNameRefused:
            return "name_refused";
        case FileOutcome::kPathTooLong:
            return "path_too_long";
        case FileOutcome::kNotServed:
            return "not_served";
        case FileOutcome::kCancelled:
            return "cancelled";
    }
    return "unknown";
}

}  // namespace veltra
