#pragma once
// The embedded panel page in a real web view, driven by the scripts the native side writes.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/page/PanelPage.h"
#include "app/panel/PanelScripts.h"
#include "core/settings/VelaConfig.h"
#include "tests/support/gui/WebViewHarness.h"

namespace vela::test {

using nlohmann::json;

class PanelPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        page = std::make_unique<WebViewHarness>(panelPageHtml());
        page->focus();
    }
    void call(std::string_view function, std::string_view arguments = {}) {
        page->eval(velaAppCall(function, arguments));
    }
    json js(const std::string& expr) { return page->eval(expr); }
    // A script answering whether the element `id` is drawn and not hidden.
    std::string seen(std::string id) { return id + ".checkVisibility({visibilityProperty: true})"; }
    // What the page posted since the last call, as a JSON array.
    json posts() { return page->takeMessages(); }

    // A real click on the centre of the first element matching `selector`.
    void clickOn(const std::string& selector) { page->click(page->centerOf(selector)); }

    std::unique_ptr<WebViewHarness> page;
};

}  // namespace vela::test
