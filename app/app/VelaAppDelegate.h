#pragma once
// The application: owns the settings store and the panel for the life of the process.
// Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "app/panel/FloatingTranslationPanel.h"
#include "core/settings/ConfigStore.h"

namespace vela {

class VelaAppDelegate {
public:
    explicit VelaAppDelegate(std::vector<std::string> arguments);

    // Builds the interface once the toolkit is initialised.
    void applicationDidFinishLaunching();

    ConfigStore& store() { return store_; }
    FloatingTranslationPanel& floatingPanel();

private:
    std::vector<std::string> arguments_;
    ConfigStore store_;
    std::unique_ptr<FloatingTranslationPanel> floatingPanel_;  // created on first use
};

}  // namespace vela
