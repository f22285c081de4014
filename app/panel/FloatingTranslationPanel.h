#pragma once
// The floating panel: the one window the user works in. An undecorated, keep-above GTK
// window on every workspace, hosting the page in a WebKitGTK view with the script-message
// handler "vela". It places and sizes itself in desktop points, queues scripts until the
// page has loaded, and answers every message of the page.
//
// Ownership: shares the store and the coordinator (both must outlive it); owns its
// window, web view, outside-click monitor and background work. The application keeps
// one panel for the life of the process; hiding never destroys it.
// The page comes and goes: after the panel has been hidden for the idle-release delay the
// web view and its processes are released, and the next show builds them again; a web
// process that dies is replaced at once. Either way the page is brought back to the state
// it last reported (source text, result, settings layer, notice), after the configuration
// and before the scripts queued meanwhile. The page never navigates: every navigation
// but the panel's own loads is refused, and its context menu offers the editing items only.
// Threads: every member is main-thread only. Translations and connection tests run as
// BackgroundWork; results that arrive after the panel is gone, or for a superseded
// translation, are dropped. The destructor stops and joins the workers.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/panel/PanelGeometry.h"
#include "app/panel/PanelMessage.h"
#include "app/panel/PanelScripts.h"
#include "app/platform/BackgroundWork.h"
#include "app/platform/GObjectPtr.h"
#include "core/capture/OCRCaptureResult.h"
#include "core/settings/ConfigStore.h"
#include "core/translation/TranslationCoordinator.h"

namespace vela {

class OutsideClickMonitor;

class FloatingTranslationPanel {
  public:
    // How long the panel stays hidden before its page is released.
    static constexpr std::chrono::milliseconds defaultIdleReleaseDelay = std::chrono::minutes(10);

    FloatingTranslationPanel(ConfigStore& store, TranslationCoordinator& coordinator,
                             std::chrono::milliseconds idleReleaseDelay = defaultIdleReleaseDelay);
    ~FloatingTranslationPanel();
    FloatingTranslationPanel(const FloatingTranslationPanel&) = delete;
    FloatingTranslationPanel& operator=(const FloatingTranslationPanel&) = delete;

    // Set by the application: registers a shortcut pair with the system (the verifier
    // of a settings save: answers why it could not, or nothing), and hears about every
    // successful save.
    ConfigStore::SystemVerifier onRegisterShortcuts;
    std::function<void()> onShortcutsChanged;
    // Opens an http(s) link; the desktop's default handler unless replaced (tests).
    std::function<void(const std::string& url)> openURL;
    // Called after an idle release has let the page go, for the application to release
    // what else waits unused.
    std::function<void()> onPageReleased;

    // The three ways the panel is shown.
    void showForTextInput(const std::optional<std::string>& initialText = std::nullopt,
                          bool shouldAutoTranslate = false);
    void showWithOCRResult(const OCRCaptureResult& result);
    void showSettingsModal();
    // A line under the settings' shortcut fields (none when empty); kept across reloads.
    void setShortcutHint(const std::string& hint);
    // A notice with a hint in the result area, until the next result replaces it.
    void showNotice(const std::string& title, const std::string& hint);

    // Shows a remote notice; a hidden panel is first centred and brought to the front.
    void sendRemoteModalToWeb(const RemoteModal& modal);
    void presentRemoteModal(const RemoteModal& modal);
    // Shows what a remote-control evaluation asks for; nothing for `upToDate`.
    void presentRemoteDecision(const RemoteControlDecision& decision);

    // Evaluates the script now, or after the page has loaded (in request order).
    void runJS(const std::string& script);
    void syncConfigToWeb();
    void resizePanel(Size size);
    void positionCenteredUpper();
    void bringToFront();
    void hide();
    void pasteClipboardDirectly();
    void triggerNativeTranslation(const std::string& text,
                                  const std::optional<std::string>& sourceLang,
                                  const std::optional<std::string>& targetLang,
                                  bool isManualTarget);
    // One message posted by the page to "vela", as JSON text.
    void handlePageMessage(std::string_view json);

    // The frame in desktop points (origin lower-left of the primary screen, y up).
    Rect frame() const { return frame_; }
    bool isVisible() const;
    bool isWebLoaded() const { return isWebLoaded_; }
    GtkWindow* window() const { return GTK_WINDOW(window_); }
    // Null while the page is released.
    WebKitWebView* webView() const { return webView_; }
    // The state the page last reported, as compact JSON; empty before its first report.
    // Also kept in the window's `pageStateProperty` (UTF-8) for tools outside the process.
    const std::string& pageState() const { return pageState_; }
    static constexpr const char* pageStateProperty = "_VELA_PAGE_STATE";

  private:
    void setupWebView();
    void releasePage();
    void loadPage();
    void setFrame(const Rect& frame);
    Rect visibleFrameForSelection(const std::optional<Rect>& selection) const;
    void handleOutsidePress(Point rootPosition);

    void perform(const PanelAction::Translate&);
    void perform(const PanelAction::SwapLanguages&);
    void perform(const PanelAction::TogglePin&);
    void perform(const PanelAction::Copy&);
    void perform(const PanelAction::OpenSettings&);
    void perform(const PanelAction::OpenExternalURL&);
    void perform(const PanelAction::DismissRemotePopup&);
    void perform(const PanelAction::TriggerDemoRemotePopup&);
    void perform(const PanelAction::TestConnection&);
    void perform(const PanelAction::SaveSettings&);
    void perform(const PanelAction::CloseWindow&);
    void perform(const PanelAction::StartWindowDrag&);
    void perform(const PanelAction::MoveWindowBy&);
    void perform(const PanelAction::PasteClipboardToActiveInput&);
    void perform(const PanelAction::ShortcutRecording&);
    void perform(const PanelAction::PageState&);

    static void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
    static gboolean onKeyPress(GtkWidget*, GdkEventKey*, gpointer);
    static gboolean onFocusOut(GtkWidget*, GdkEventFocus*, gpointer);
    static void onCompositedChanged(GdkScreen*, gpointer);
    // Tells the page whether its transparent margin can show the desktop: without a
    // compositing manager it would be drawn black, so the card fills the window instead.
    void syncWindowTransparency();
    static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer);
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType,
                                   gpointer);
    static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                  WebKitHitTestResult*, gpointer);
    static void onWindowHidden(GtkWidget*, gpointer);
    static void onWindowShown(GtkWidget*, gpointer);
    static gboolean onIdleRelease(gpointer);

    ConfigStore& store_;
    TranslationCoordinator& coordinator_;
    GtkWidget* window_ = nullptr;              // destroyed in the destructor
    WebKitWebView* webView_ = nullptr;         // owned by window_; null while released
    GObjectPtr<WebKitWebContext> webContext_;  // the page's processes; released with it
    bool isWebLoaded_ = false;
    bool recordingShortcut_ = false;  // the page's recorder listens: keys go only to it
    bool expectingPageLoad_ = false;  // the panel's own load is the one navigation allowed
    std::string pageState_;
    std::string shortcutHint_;
    std::chrono::milliseconds idleReleaseDelay_;
    guint idleReleaseTimer_ = 0;
    std::vector<std::string> pendingJSQueue_;
    Rect frame_;
    std::unique_ptr<OutsideClickMonitor> outsideClickMonitor_;
    std::stop_source currentTranslation_;  // stopped when a newer one starts
    // Translations, connection tests, and every callback that must not outlive the panel.
    BackgroundWork background_;
};

}  // namespace vela
