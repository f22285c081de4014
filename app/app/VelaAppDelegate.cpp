#include "app/app/VelaAppDelegate.h"

#include <gdk/gdkkeysyms.h>
#include <libayatana-appindicator/app-indicator.h>
#include <malloc.h>

#include <ctime>

#include "app/app/AppCommandLine.h"
#include "app/app/AppTexts.h"
#include "app/hotkeys/GlobalHotKeyManager.h"
#include "app/hotkeys/HotKeyTexts.h"
#include "app/panel/PanelTexts.h"
#include "app/platform/DesktopIntegration.h"
#include "app/platform/DesktopScreens.h"
#include "app/platform/PortalScreenshot.h"
#include "core/translation/HTTPTranslationTransport.h"

namespace vela {

namespace {

constexpr guint kRemoteSyncIntervalSeconds = 7200;
constexpr guint kRepaintAfterHideMs = 150;
constexpr const char* kIconName = "vela";

template <typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

// AppIndicator talks to the tray over the session bus; without one it would only warn.
bool sessionBusReachable() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    g_object_unref(bus);
    return true;
}

// The folder holding the icon: installed next to the program's share folder, or the
// source tree's copy for a program run from its build folder.
std::string iconThemePath() {
    if (auto exe = runningProgramPath()) {
        auto installed = exe->parent_path().parent_path() / "share/icons/hicolor/scalable/apps";
        std::error_code ec;
        if (std::filesystem::exists(installed / "vela.svg", ec))
            return installed.string();
    }
    return VELA_RESOURCE_DIR;
}

// The monitor under the pointer, else the primary one, else the first; none without any.
GdkMonitor* monitorUnderPointer() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return nullptr;
    int count = gdk_display_get_n_monitors(display);
    if (count == 0)
        return nullptr;
    if (GdkSeat* seat = gdk_display_get_default_seat(display)) {
        if (GdkDevice* pointer = gdk_seat_get_pointer(seat)) {
            int x = 0, y = 0;
            gdk_device_get_position(pointer, nullptr, &x, &y);
            for (int i = 0; i < count; ++i) {
                GdkMonitor* monitor = gdk_display_get_monitor(display, i);
                GdkRectangle g;
                gdk_monitor_get_geometry(monitor, &g);
                if (x >= g.x && x < g.x + g.width && y >= g.y && y < g.y + g.height)
                    return monitor;
            }
        }
    }
    return primaryMonitor(display);
}

void runAction(GtkMenuItem*, gpointer action) {
    (*static_cast<std::function<void()>*>(action))();
}

gboolean runKeyEquivalent(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer action) {
    (*static_cast<std::function<void()>*>(action))();
    return TRUE;
}

}  // namespace

VelaAppDelegate::VelaAppDelegate(std::vector<std::string> arguments)
    : VelaAppDelegate(std::move(arguments), Options{}) {}

VelaAppDelegate::VelaAppDelegate(std::vector<std::string> arguments, Options options)
    : arguments_(std::move(arguments)),
      options_(std::move(options)),
      store_(options_.settingsFile) {}

VelaAppDelegate::~VelaAppDelegate() {
    background_.shutDown();
    if (remoteSyncTimer_)
        g_source_remove(remoteSyncTimer_);
    if (pendingOverlay_)
        g_source_remove(pendingOverlay_);
    overlayWindow_.reset();
    if (statusItem_)
        app_indicator_set_status(statusItem_.get(), APP_INDICATOR_STATUS_PASSIVE);
    if (statusMenu_)
        gtk_widget_destroy(GTK_WIDGET(statusMenu_.get()));
    if (floatingPanel_ && keyEquivalents_)
        gtk_window_remove_accel_group(floatingPanel_->window(), keyEquivalents_.get());
}

TranslationCoordinator& VelaAppDelegate::coordinator() {
    if (!coordinator_) {
        coordinator_ = std::make_unique<TranslationCoordinator>(
            store_, std::make_unique<HTTPTranslationTransport>());
    }
    return *coordinator_;
}

FloatingTranslationPanel& VelaAppDelegate::floatingPanel() {
    if (!floatingPanel_) {
        floatingPanel_ = std::make_unique<FloatingTranslationPanel>(store_, coordinator(),
                                                                    options_.panelIdleRelease);
        if (keyEquivalents_)
            gtk_window_add_accel_group(floatingPanel_->window(), keyEquivalents_.get());
        floatingPanel_->onPageReleased = background_.guard([this] {
            // Waiting in the tray: the engines go too (the next capture loads them again),
            // and the heap hands what they and the page left free back to the system.
            if (recognitionsRunning_ == 0)
                TextRecognizer::shared().releaseEngines();
            malloc_trim(0);
        });
    }
    return *floatingPanel_;
}

X11ScreenSource::Options VelaAppDelegate::screenSourceOptions() {
    X11ScreenSource::Options options;
    if (isWaylandSession())
        options.screenshot = [] { return takePortalScreenshot(); };
    return options;
}

VisionOCRService& VelaAppDelegate::ocrService() {
    if (!ocrService_)
        ocrService_ = std::make_unique<VisionOCRService>(screenSource_);
    return *ocrService_;
}

// ---- launch ----------------------------------------------------------------------

void VelaAppDelegate::applicationDidFinishLaunching() {
    // A tray utility has no taskbar entry: the panel skips the taskbar itself.
    setupMainMenu();
    setupStatusBar();
    setupHotKeys();

    FloatingTranslationPanel& panel = floatingPanel();
    panel.onRegisterShortcuts = background_.guardOr<std::optional<ShortcutValidationError>>(
        ShortcutValidationError::occupiedBySystem,
        [this](const ShortcutConfig& capture,
               const ShortcutConfig& text) -> std::optional<ShortcutValidationError> {
            // On a refusal the store asks again with the stored pair, which registers it anew.
            GlobalHotKeyManager& hotKeys = GlobalHotKeyManager::shared();
            if (hotKeys.registerShortcuts(capture, text))
                return std::nullopt;
            return hotKeys.lastRegistrationMissedKey() ? ShortcutValidationError::keyNotOnKeyboard
                                                       : ShortcutValidationError::occupiedBySystem;
        });
    panel.onShortcutsChanged = background_.guard([this] { refreshMenuShortcutLabels(); });

    actOnCommandLine(arguments_);
    // Without a tray the only ways in are launching Vela again and the hot keys: say so.
    if (options_.statusIndicator && !trayHostAvailable())
        floatingPanel().showNotice(std::string(AppTexts::noTrayTitle),
                                   std::string(AppTexts::noTrayHint));

    triggerRemoteControlSync();
    remoteSyncTimer_ = g_timeout_add_seconds(kRemoteSyncIntervalSeconds, &onSyncTimer, this);
}

void VelaAppDelegate::actOnCommandLine(const std::vector<std::string>& arguments) {
    std::visit(
        Overloaded{
            [&](const LaunchCommand::StartCapture&) { startScreenCapture(); },
            [&](const LaunchCommand::TranslateText& t) {
                floatingPanel().showForTextInput(t.text, true);
            },
            [&](const LaunchCommand::OpenSettings&) { handleSettingsMenu(); },
            [&](const LaunchCommand::PreviewBroadcastNotice&) { handleDemoPopupMenu(); },
            [&](const LaunchCommand::PreviewRequiredUpdate&) { handleTourStep4ForceUpdate(); },
            [&](const LaunchCommand::LaunchNotice&) { showLaunchNotice(); },
            [&](const LaunchCommand::ShowTextInput&) { handleTextMenu(); },
        },
        launchCommandFor(arguments).value);
}

gboolean VelaAppDelegate::onSyncTimer(gpointer self) {
    static_cast<VelaAppDelegate*>(self)->triggerRemoteControlSync();
    return G_SOURCE_CONTINUE;
}

// ---- menus -----------------------------------------------------------------------

// The editing keys are the panel's own; what is left of a desktop application's menu
// are quitting (Ctrl+Q), the settings (Ctrl+,) and, with the debug menu, its two previews
// (Ctrl+3, Ctrl+4), active while the panel has the focus. The tray menu shows the same
// keys beside its items.
void VelaAppDelegate::setupMainMenu() {
    keyEquivalents_ = GObjectPtr<GtkAccelGroup>(gtk_accel_group_new());
    auto bind = [&](guint key, std::function<void(VelaAppDelegate&)> action) {
        auto& stored = menuActions_.emplace_back(std::make_unique<std::function<void()>>(
            background_.guard([this, action = std::move(action)] { action(*this); })));
        gtk_accel_group_connect(
            keyEquivalents_.get(), key, GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE,
            g_cclosure_new(G_CALLBACK(runKeyEquivalent), stored.get(), nullptr));
    };
    bind(GDK_KEY_q, [](VelaAppDelegate& d) { d.handleQuitMenu(); });
    bind(GDK_KEY_comma, [](VelaAppDelegate& d) { d.handleSettingsMenu(); });
    if (wantsDebugMenu(arguments_)) {
        bind(GDK_KEY_3, [](VelaAppDelegate& d) { d.handleDemoPopupMenu(); });
        bind(GDK_KEY_4, [](VelaAppDelegate& d) { d.handleTourStep4ForceUpdate(); });
    }
    if (floatingPanel_)
        gtk_window_add_accel_group(floatingPanel_->window(), keyEquivalents_.get());
}

GtkMenuItem* VelaAppDelegate::appendItem(GtkMenuShell* menu, const std::string& title,
                                         std::function<void(VelaAppDelegate&)> action,
                                         guint accelKey) {
    GtkWidget* item = gtk_menu_item_new_with_label(title.c_str());
    if (accelKey) {
        // A real accelerator, not only a label: the tray host learns the key from the
        // accelerator the item's label watches.
        if (!menuAccelerators_)
            menuAccelerators_ = GObjectPtr<GtkAccelGroup>(gtk_accel_group_new());
        gtk_menu_set_accel_group(GTK_MENU(menu), menuAccelerators_.get());
        gtk_widget_add_accelerator(item, "activate", menuAccelerators_.get(), accelKey,
                                   GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE);
    }
    if (action) {
        auto& stored = menuActions_.emplace_back(std::make_unique<std::function<void()>>(
            background_.guard([this, action = std::move(action)] { action(*this); })));
        g_signal_connect(item, "activate", G_CALLBACK(runAction), stored.get());
    }
    gtk_menu_shell_append(menu, item);
    return GTK_MENU_ITEM(item);
}

void VelaAppDelegate::setupStatusBar() {
    GtkWidget* menuWidget = gtk_menu_new();
    statusMenu_ = GObjectPtr<GtkMenu>(GTK_MENU(g_object_ref_sink(menuWidget)));
    GtkMenuShell* menu = GTK_MENU_SHELL(menuWidget);
    VelaConfig config = store_.config();

    captureMenuItem_ = appendItem(menu, captureMenuTitle(config.captureShortcut),
                                  [](VelaAppDelegate& d) { d.handleCaptureMenu(); });
    textMenuItem_ = appendItem(menu, textMenuTitle(config.textShortcut),
                               [](VelaAppDelegate& d) { d.handleTextMenu(); });
    gtk_menu_shell_append(menu, gtk_separator_menu_item_new());
    appendItem(
        menu, std::string(AppTexts::settingsItem),
        [](VelaAppDelegate& d) { d.handleSettingsMenu(); }, GDK_KEY_comma);
    if (wantsDebugMenu(arguments_)) {
        GtkMenuItem* tour = appendItem(menu, std::string(AppTexts::debugSubmenu), {});
        GtkWidget* submenu = gtk_menu_new();
        appendItem(
            GTK_MENU_SHELL(submenu), std::string(AppTexts::demoPopupItem),
            [](VelaAppDelegate& d) { d.handleDemoPopupMenu(); }, GDK_KEY_3);
        appendItem(
            GTK_MENU_SHELL(submenu), std::string(AppTexts::forceUpdateItem),
            [](VelaAppDelegate& d) { d.handleTourStep4ForceUpdate(); }, GDK_KEY_4);
        gtk_menu_item_set_submenu(tour, submenu);
        gtk_menu_shell_append(menu, gtk_separator_menu_item_new());
    }
    appendItem(
        menu, std::string(AppTexts::quitItem), [](VelaAppDelegate& d) { d.handleQuitMenu(); },
        GDK_KEY_q);
    gtk_widget_show_all(menuWidget);

    if (!options_.statusIndicator || !sessionBusReachable())
        return;
    AppIndicator* indicator = app_indicator_new_with_path(applicationId, kIconName,
                                                          APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                                          iconThemePath().c_str());
    statusItem_ = GObjectPtr<AppIndicator>(indicator);
    app_indicator_set_title(indicator, "Vela");
    const std::string label(AppTexts::statusLabel);
    app_indicator_set_label(indicator, label.c_str(), label.c_str());
    app_indicator_set_menu(indicator, statusMenu_.get());
    app_indicator_set_status(indicator, APP_INDICATOR_STATUS_ACTIVE);
}

void VelaAppDelegate::refreshMenuShortcutLabels() {
    VelaConfig config = store_.config();
    if (captureMenuItem_)
        gtk_menu_item_set_label(captureMenuItem_, captureMenuTitle(config.captureShortcut).c_str());
    if (textMenuItem_)
        gtk_menu_item_set_label(textMenuItem_, textMenuTitle(config.textShortcut).c_str());
}

// ---- hot keys --------------------------------------------------------------------

void VelaAppDelegate::setupHotKeys() {
    GlobalHotKeyManager& hotKeys = GlobalHotKeyManager::shared();
    hotKeys.onCaptureHotKey = background_.guard([this] { startScreenCapture(); });
    hotKeys.onTextHotKey = background_.guard([this] { handleTextMenu(); });
    VelaConfig config = store_.config();
    hotKeys.registerShortcuts(config.captureShortcut, config.textShortcut);
    if (hotKeys.shortcutsNeedDesktopSettings())
        floatingPanel().setShortcutHint(std::string(HotKeyTexts::bindInDesktopSettingsHint));
}

// ---- panel-showing actions -------------------------------------------------------

void VelaAppDelegate::handleTextMenu() {
    floatingPanel().showForTextInput();
}

void VelaAppDelegate::handleSettingsMenu() {
    floatingPanel().showSettingsModal();
}

void VelaAppDelegate::handleDemoPopupMenu() {
    store_.update([](VelaConfig& c) { c.forceUpdateBlocked = false; });
    if (!floatingPanel().isVisible())
        handleTextMenu();
    RemotePopupNotice notice{
        std::string(PanelTexts::campaignNoticeIdPrefix) + std::to_string(std::time(nullptr)),
        std::string(AppTexts::campaignNoticeTitle), std::string(AppTexts::campaignNoticeMessage),
        std::string(AppTexts::campaignNoticeButton), std::string(AppTexts::campaignNoticeURL)};
    floatingPanel().presentRemoteModal(broadcastModal(notice));
}

void VelaAppDelegate::showLaunchNotice() {
    handleTextMenu();
    RemotePopupNotice notice{
        std::string(AppTexts::launchNoticeId), std::string(AppTexts::launchNoticeTitle),
        std::string(AppTexts::launchNoticeMessage), std::string(AppTexts::launchNoticeButton),
        std::string(AppTexts::launchNoticeURL)};
    floatingPanel().presentRemoteModal(broadcastModal(notice));
}

void VelaAppDelegate::handleTourStep4ForceUpdate() {
    RemoteControlManifest manifest{std::string(AppTexts::previewUpdateVersion),
                                   std::string(AppTexts::previewUpdateVersion),
                                   std::string(AppTexts::previewUpdateURL),
                                   std::string(AppTexts::previewUpdateNotes), std::nullopt};
    presentRemoteDecision(store_.applyRemoteManifest(manifest));
}

void VelaAppDelegate::handleQuitMenu() {
    if (onQuit)
        onQuit();
    else
        gtk_main_quit();
}

// ---- remote control --------------------------------------------------------------

void VelaAppDelegate::triggerRemoteControlSync() {
    TranslationCoordinator& sync = coordinator();  // created here, on the main thread
    background_.run(
        [&sync](std::stop_token stop) { return sync.syncRemoteControl(stop); },
        [this](const RemoteControlDecision& decision) { presentRemoteDecision(decision); });
}

void VelaAppDelegate::presentRemoteDecision(const RemoteControlDecision& decision) {
    if (isCapturing_)
        decisionsAfterCapture_.push_back(decision);
    else
        floatingPanel().presentRemoteDecision(decision);
}

void VelaAppDelegate::endCapture() {
    isCapturing_ = false;
    std::vector<RemoteControlDecision> held;
    held.swap(decisionsAfterCapture_);
    for (const auto& decision : held)
        floatingPanel().presentRemoteDecision(decision);
}

// ---- capture ---------------------------------------------------------------------

void VelaAppDelegate::startScreenCapture() {
    if (isCapturing_)
        return;
    GdkMonitor* monitor = monitorUnderPointer();
    if (!monitor)
        return;
    FloatingTranslationPanel& panel = floatingPanel();
    const bool panelWasVisible = panel.isVisible();
    isCapturing_ = true;
    if (!panelWasVisible) {
        openOverlay(monitor, false);
        return;
    }
    panel.hide();
    gdk_display_sync(gdk_display_get_default());
    // The windows the panel covered repaint themselves only after the unmap (ours on this
    // very loop): freezing at once would catch their stale, blank parts.
    pendingOverlay_ = g_timeout_add(kRepaintAfterHideMs, &onRepaintedAfterHide, this);
}

gboolean VelaAppDelegate::onRepaintedAfterHide(gpointer data) {
    auto* self = static_cast<VelaAppDelegate*>(data);
    self->pendingOverlay_ = 0;
    if (GdkMonitor* monitor = monitorUnderPointer())
        self->openOverlay(monitor, true);
    else
        self->endCapture();
    return G_SOURCE_REMOVE;
}

void VelaAppDelegate::openOverlay(GdkMonitor* monitor, bool panelWasVisible) {
    if (!screenSource_.freezesThroughScreenshot()) {
        showOverlay(monitor, screenSource_.freeze(), panelWasVisible);
        return;
    }
    // The screenshot portal may first ask the user for permission: wait for it off the main
    // loop, which keeps the tray menu and the hot keys alive meanwhile.
    std::optional<ScreenLayout> layout = currentScreenLayout();
    auto kept = GObjectPtr<GdkMonitor>::retain(monitor);
    X11ScreenSource& source = screenSource_;  // outlives the worker: the destructor joins it
    background_.run([layout, &source](std::stop_token) { return source.freeze(layout); },
                    [this, kept, panelWasVisible](std::shared_ptr<const FrozenScreen> frozen) {
                        showOverlay(kept.get(), std::move(frozen), panelWasVisible);
                    });
}

void VelaAppDelegate::showOverlay(GdkMonitor* monitor, std::shared_ptr<const FrozenScreen> frozen,
                                  bool panelWasVisible) {
    overlayWindow_ = std::make_unique<ScreenCaptureOverlayWindow>(monitor, std::move(frozen));

    overlayWindow_->onCancelSelection = background_.guard([this, panelWasVisible] {
        // The reset below destroys this closure: nothing it holds is read after it.
        VelaAppDelegate& d = *this;
        const bool restorePanel = panelWasVisible;
        d.overlayWindow_.reset();
        d.screenSource_.thaw();
        if (restorePanel)
            d.floatingPanel().bringToFront();
        d.endCapture();
    });
    overlayWindow_->onFinishSelection =
        background_.guard([this](const Rect& selection, std::uint32_t windowNumber) {
            // The reset below destroys this closure and possibly the selection it was given.
            const Rect rect = selection;
            VelaAppDelegate& d = *this;
            d.overlayWindow_.reset();
            d.endCapture();
            VisionOCRService& service = d.ocrService();
            ++d.recognitionsRunning_;
            d.background_.run(
                [&service, rect, windowNumber](std::stop_token) {
                    return service.captureAndRecognize(rect, windowNumber);
                },
                [self = &d](const OCRCaptureResult& result) {
                    --self->recognitionsRunning_;
                    if (!self->isCapturing_)
                        self->screenSource_.thaw();  // no later capture needs the frame
                    self->floatingPanel().showWithOCRResult(result);
                });
        });
    overlayWindow_->makeKeyAndOrderFront();
}

}  // namespace vela
