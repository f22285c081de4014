#pragma once
// The embedded panel page in a real web view, with helpers that call
// window.velaApp the way the native panel does.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/page/PanelPage.h"
#include "tests/support/gui/WebViewHarness.h"

namespace vela::test {

// The four replacements the native side applies before placing a text between
// single quotes in a script.
inline std::string jsQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\'')
            out += "\\'";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            continue;
        else
            out += c;
    }
    return out + "'";
}

class PanelPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGtk()) << "the page tests need an X server (DISPLAY)";
        page = std::make_unique<WebViewHarness>(panelPageHtml());
    }
    void TearDown() override { page.reset(); }

    // Runs "window.velaApp.<call>;" exactly as the native side would.
    void call(const std::string& call) { page->eval("window.velaApp." + call + ";"); }
    nlohmann::json state(const std::string& field) { return page->eval("window.velaApp." + field); }
    std::string text(const std::string& id) { return page->text(id); }
    nlohmann::json js(const std::string& expr) { return page->eval(expr); }
    bool hasClass(const std::string& id, const std::string& cls) {
        return js("document.getElementById('" + id + "').classList.contains('" + cls + "')") ==
               true;
    }
    bool shown(const std::string& id) {
        return js("(() => { const e = document.getElementById('" + id +
                  "'); const s = getComputedStyle(e);"
                  " return e.getClientRects().length > 0 && s.visibility !== 'hidden'; })()") ==
               true;
    }
    std::string value(const std::string& id) {
        return js("document.getElementById('" + id + "').value").get<std::string>();
    }
    std::string placeholder(const std::string& id) {
        return js("document.getElementById('" + id + "').placeholder").get<std::string>();
    }

    std::unique_ptr<WebViewHarness> page;
};

}  // namespace vela::test
