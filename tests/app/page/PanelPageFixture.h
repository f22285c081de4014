#pragma once
// The embedded panel page in a real web view, driven by the scripts the native side writes.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "app/page/PanelPage.h"
#include "app/panel/PanelScripts.h"
#include "tests/support/gui/WebViewHarness.h"

namespace vela::test {

using nlohmann::json;

class PanelPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGtk()) << "the page tests need an X server (DISPLAY)";
        page = std::make_unique<WebViewHarness>(panelPageHtml());
    }

    void call(std::string_view function, std::string_view arguments = {}) {
        page->eval(velaAppCall(function, arguments));
    }
    json js(const std::string& expr) { return page->eval(expr); }
    json el(const std::string& id, const std::string& property) {
        return js("document.getElementById('" + id + "')." + property);
    }
    bool shown(const std::string& id) {
        return js("(e => e.getClientRects().length > 0 && getComputedStyle(e).visibility !== "
                  "'hidden')(document.getElementById('" +
                  id + "'))") == true;
    }
    // Everything posted so far, then forgotten. A marker posted last proves the page has
    // sent all it was going to, so an empty answer means that nothing was posted.
    std::vector<json> posts() {
        page->eval("velaApp.postNative({action: 'mark'})");
        EXPECT_FALSE(page->waitForMessage("mark").is_null());
        std::vector<json> all = page->messages();
        page->clearMessages();
        std::erase(all, json{{"action", "mark"}});
        return all;
    }

    std::unique_ptr<WebViewHarness> page;
};

}  // namespace vela::test
