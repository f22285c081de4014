#pragma once
// Turns a manifest, the program's version and the last dismissed notice id into
// one decision: required update, else optional update, else a new notice.
// Pure functions: thread-safe, cannot fail.

#include <string_view>

#include "core/remote/RemoteControlDecision.h"
#include "core/remote/RemoteControlManifest.h"

namespace vela::RemoteControlEvaluator {

RemoteControlDecision evaluate(const RemoteControlManifest& manifest,
                               std::string_view currentVersion, std::string_view dismissedPopupId);

// Dotted versions compared number by number (missing numbers count as 0).
// Pieces that are not whole signed 64-bit decimals ("3-beta", "v1") are dropped.
bool isVersion(std::string_view a, std::string_view olderThan);

}  // namespace vela::RemoteControlEvaluator
