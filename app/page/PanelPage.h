#pragma once
// The panel's HTML document, compiled into the program from app/page/panel.html, with the
// configuration's defaults filled in where the page names them ({{defaultCustomBaseURL}},
// {{defaultCustomModel}}). Built once on first use and kept for the life of the process;
// any thread may call it. Never fails.

#include <string_view>

namespace vela {

std::string_view panelPageHtml();

}  // namespace vela
