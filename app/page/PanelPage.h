#pragma once
// The panel's HTML document, compiled into the program from app/page/panel.html.

#include <string_view>

namespace vela {

std::string_view panelPageHtml();

}  // namespace vela
