#pragma once
// The application: owns the settings store, the translation coordinator and the panel
// for the life of the process. Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "app/panel/FloatingTranslationPanel.h"
#include "core/settings/ConfigStore.h"
#include "core/translation/TranslationCoordinator.h"

namespace vela {

class VelaAppDelegate {
  public:
    explicit VelaAppDelegate(std::vector<std::string> arguments);

    // Builds the interface once the toolkit is initialised.
    void applicationDidFinishLaunching();

    ConfigStore& store() { return store_; }
    TranslationCoordinator& coordinator();
    FloatingTranslationPanel& floatingPanel();

  private:
    std::vector<std::string> arguments_;
    ConfigStore store_;
    std::unique_ptr<TranslationCoordinator> coordinator_;      // created on first use
    std::unique_ptr<FloatingTranslationPanel> floatingPanel_;  // created on first use
};

}  // namespace vela
