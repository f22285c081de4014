#include "app/app/VelaAppDelegate.h"

namespace vela {

VelaAppDelegate::VelaAppDelegate(std::vector<std::string> arguments)
    : arguments_(std::move(arguments)) {}

FloatingTranslationPanel& VelaAppDelegate::floatingPanel() {
    if (!floatingPanel_) floatingPanel_ = std::make_unique<FloatingTranslationPanel>(store_);
    return *floatingPanel_;
}

void VelaAppDelegate::applicationDidFinishLaunching() {
    floatingPanel().showForTextInput();
}

}  // namespace vela
