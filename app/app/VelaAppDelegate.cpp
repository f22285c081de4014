#include "app/app/VelaAppDelegate.h"

#include "core/translation/HTTPTranslationTransport.h"

namespace vela {

VelaAppDelegate::VelaAppDelegate(std::vector<std::string> arguments)
    : arguments_(std::move(arguments)) {}

TranslationCoordinator& VelaAppDelegate::coordinator() {
    if (!coordinator_) {
        coordinator_ = std::make_unique<TranslationCoordinator>(
            store_, std::make_unique<HTTPTranslationTransport>());
    }
    return *coordinator_;
}

FloatingTranslationPanel& VelaAppDelegate::floatingPanel() {
    if (!floatingPanel_)
        floatingPanel_ = std::make_unique<FloatingTranslationPanel>(store_, coordinator());
    return *floatingPanel_;
}

void VelaAppDelegate::applicationDidFinishLaunching() {
    floatingPanel().showForTextInput();
}

}  // namespace vela
