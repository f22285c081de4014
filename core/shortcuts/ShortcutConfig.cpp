#include "core/shortcuts/ShortcutConfig.h"

#include <algorithm>

#include "core/shortcuts/HotKeyKeyTable.h"
#include "core/support/UnicodeText.h"

namespace vela {

namespace {
// The written forms list modifiers in this order, unlike the declaration order.
constexpr ShortcutModifier kDisplayOrder[] = {ShortcutModifier::control, ShortcutModifier::option,
                                              ShortcutModifier::shift, ShortcutModifier::command};

bool contains(const std::vector<ShortcutModifier>& list, ShortcutModifier m) {
    return std::find(list.begin(), list.end(), m) != list.end();
}
}  // namespace

ShortcutConfig::ShortcutConfig(std::string_view k, std::uint32_t code,
                               std::vector<ShortcutModifier> mods)
    : key(upperCased(k)), keyCode(code), modifiers(std::move(mods)) {}

ShortcutConfig ShortcutConfig::stored(std::string k, std::uint32_t code,
                                      std::vector<ShortcutModifier> mods) {
    ShortcutConfig s;
    s.key = std::move(k);
    s.keyCode = code;
    s.modifiers = std::move(mods);
    return s;
}

// Ctrl+S and Alt+G, the macOS pair, are Save and menu mnemonics in Linux programs; with
// Alt added they collide with nothing common.
ShortcutConfig ShortcutConfig::defaultCapture() {
    return ShortcutConfig("S", 1, {ShortcutModifier::control, ShortcutModifier::option});
}

ShortcutConfig ShortcutConfig::defaultText() {
    return ShortcutConfig("G", 5, {ShortcutModifier::control, ShortcutModifier::option});
}

std::string ShortcutConfig::joined(std::string_view separator) const {
    std::string out;
    for (ShortcutModifier m : kDisplayOrder) {
        if (!contains(modifiers, m))
            continue;
        out += displayName(m);
        out += separator;
    }
    out += upperCased(key);
    return out;
}

std::string ShortcutConfig::displayText() const {
    return joined(" + ");
}

std::string ShortcutConfig::compactDisplayText() const {
    return joined("+");
}

bool ShortcutConfig::lacksModifier() const {
    if (modifiers.empty())
        return true;
    // Shift alone on a character key only changes what the key types.
    const bool shiftOnly = std::all_of(modifiers.begin(), modifiers.end(), [](ShortcutModifier m) {
        return m == ShortcutModifier::shift;
    });
    const std::optional<PhysicalKey> physical = physicalKey(key);
    return shiftOnly && physical && physical->typesCharacter;
}

}  // namespace vela

std::size_t std::hash<vela::ShortcutConfig>::operator()(
    const vela::ShortcutConfig& s) const noexcept {
    std::size_t h = std::hash<std::string>{}(s.key);
    const auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(s.keyCode);
    mix(s.modifiers.size());
    for (auto m : s.modifiers)
        mix(static_cast<std::size_t>(m));
    return h;
}
