#pragma once
// What one evaluation of the manifest asks the program to show. Plain value.

#include <string>
#include <variant>

#include "core/remote/RemotePopupNotice.h"

namespace vela {

struct RemoteControlDecision {
    struct ForceUpdateRequired {
        std::string version;
        std::string notes;
        std::string url;
        bool operator==(const ForceUpdateRequired&) const = default;
    };
    struct OptionalUpdateAvailable {
        std::string version;
        std::string notes;
        std::string url;
        bool operator==(const OptionalUpdateAvailable&) const = default;
    };
    struct PopupBroadcast {
        RemotePopupNotice notice;
        bool operator==(const PopupBroadcast&) const = default;
    };
    struct UpToDate {
        bool operator==(const UpToDate&) const = default;
    };

    std::variant<ForceUpdateRequired, OptionalUpdateAvailable, PopupBroadcast, UpToDate> value =
        UpToDate{};

    bool operator==(const RemoteControlDecision&) const = default;
};

}  // namespace vela
