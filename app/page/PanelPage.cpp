#include "app/page/PanelPage.h"

#include <string>
#include <utility>

#include "core/settings/VelaConfig.h"

namespace vela {

// The page as compiled in, its placeholders still unfilled (generated from panel.html).
std::string_view panelPageSource();

namespace {

// The settings fields start from the configuration's defaults, which live in VelaConfig
// only. Neither holds a character HTML would read as markup.
std::string filledIn(std::string page) {
    const std::pair<std::string_view, std::string_view> fills[] = {
        {"{{defaultCustomBaseURL}}", VelaConfig::defaultCustomBaseURL},
        {"{{defaultCustomModel}}", VelaConfig::defaultCustomModel},
    };
    for (const auto& [name, value] : fills) {
        for (auto at = page.find(name); at != std::string::npos;
             at = page.find(name, at + value.size()))
            page.replace(at, name.size(), value);
    }
    return page;
}

}  // namespace

std::string_view panelPageHtml() {
    static const std::string page = filledIn(std::string(panelPageSource()));
    return page;
}

}  // namespace vela
