#pragma once
// A one-off notice broadcast through the remote control manifest. Plain value.

#include <string>

namespace vela {

struct RemotePopupNotice {
    std::string id;  // empty disables the notice; a dismissed id is not shown again
    std::string title;
    std::string message;
    std::string buttonText;
    std::string buttonURL;  // may be empty

    bool operator==(const RemotePopupNotice&) const = default;
};

}  // namespace vela
