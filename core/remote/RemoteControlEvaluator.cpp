#include "core/remote/RemoteControlEvaluator.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "core/remote/RemoteMessages.h"

namespace vela::RemoteControlEvaluator {

namespace {

bool parseWholeInteger(std::string_view piece, std::int64_t& out) {
    std::string_view digits = piece;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty())
        return false;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
    }
    // Parsed with its minus sign so that the most negative value still fits.
    const std::string text = (negative ? "-" : "") + std::string(digits);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::int64_t> versionNumbers(std::string_view version) {
    std::vector<std::int64_t> numbers;
    std::size_t start = 0;
    while (start <= version.size()) {
        std::size_t dot = version.find('.', start);
        if (dot == std::string_view::npos)
            dot = version.size();
        std::int64_t number = 0;
        const std::string_view piece = version.substr(start, dot - start);
        if (!piece.empty() && parseWholeInteger(piece, number))
            numbers.push_back(number);
        start = dot + 1;
    }
    return numbers;
}

}  // namespace

bool isVersion(std::string_view a, std::string_view olderThan) {
    const std::vector<std::int64_t> left = versionNumbers(a);
    const std::vector<std::int64_t> right = versionNumbers(olderThan);
    const std::size_t length = std::max(left.size(), right.size());
    for (std::size_t i = 0; i < length; ++i) {
        const std::int64_t l = i < left.size() ? left[i] : 0;
        const std::int64_t r = i < right.size() ? right[i] : 0;
        if (l != r)
            return l < r;
    }
    return false;
}

RemoteControlDecision evaluate(const RemoteControlManifest& manifest,
                               std::string_view currentVersion, std::string_view dismissedPopupId) {
    if (isVersion(currentVersion, manifest.minRequiredVersion)) {
        std::string notes = manifest.releaseNotes.empty()
                                ? std::string(messages::requiredUpdateNotes)
                                : manifest.releaseNotes;
        return {RemoteControlDecision::ForceUpdateRequired{manifest.latestVersion, std::move(notes),
                                                           manifest.updateURL}};
    }
    if (isVersion(currentVersion, manifest.latestVersion)) {
        std::string notes = manifest.releaseNotes.empty()
                                ? std::string(messages::optionalUpdateNotesPrefix) +
                                      manifest.latestVersion +
                                      std::string(messages::optionalUpdateNotesSuffix)
                                : manifest.releaseNotes;
        return {RemoteControlDecision::OptionalUpdateAvailable{
            manifest.latestVersion, std::move(notes), manifest.updateURL}};
    }
    if (manifest.popup && !manifest.popup->id.empty() && manifest.popup->id != dismissedPopupId) {
        return {RemoteControlDecision::PopupBroadcast{*manifest.popup}};
    }
    return {RemoteControlDecision::UpToDate{}};
}

}  // namespace vela::RemoteControlEvaluator
