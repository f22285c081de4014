#include "app/panel/FloatingTranslationPanel.h"

#include <gdk/gdkx.h>

#include <cmath>
#include <ctime>

#include "app/page/PanelPage.h"
#include "app/panel/PanelTexts.h"
#include "app/platform/DesktopIntegration.h"
#include "app/platform/DesktopScreens.h"
#include "app/platform/OutsideClickMonitor.h"
#include "core/capture/TextProcessor.h"
#include "core/shortcuts/HotKeyKeyTable.h"
#include "core/support/UnicodeText.h"
#include "core/translation/LanguageDetector.h"

namespace vela {

FloatingTranslationPanel::FloatingTranslationPanel(ConfigStore& store,
                                                   TranslationCoordinator& coordinator,
                                                   std::chrono::milliseconds idleReleaseDelay)
    : store_(store),
      coordinator_(coordinator),
      idleReleaseDelay_(idleReleaseDelay),
      frame_(initialPanelFrame) {
    openURL = openWithDefaultHandler;
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* win = GTK_WINDOW(window_);
    gtk_window_set_title(win, "Vela");
    gtk_window_set_decorated(win, FALSE);
    gtk_window_set_keep_above(win, TRUE);
    gtk_window_stick(win);
    gtk_window_set_skip_taskbar_hint(win, TRUE);
    gtk_window_set_skip_pager_hint(win, TRUE);
    gtk_window_set_type_hint(win, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_accept_focus(win, TRUE);
    gtk_window_set_gravity(win, GDK_GRAVITY_NORTH_WEST);
    gtk_window_set_default_size(win, int(frame_.width()), int(frame_.height()));
    gtk_widget_set_app_paintable(window_, TRUE);
    // With an RGBA visual the page's transparent margin shows the desktop.
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window_))) {
        gtk_widget_set_visual(window_, rgba);
    }
    // Closing only ever hides the panel.
    g_signal_connect(window_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKeyPress), this);
    g_signal_connect(gtk_widget_get_screen(window_), "composited-changed",
                     G_CALLBACK(onCompositedChanged), this);
    g_signal_connect(window_, "hide", G_CALLBACK(onWindowHidden), this);
    g_signal_connect(window_, "show", G_CALLBACK(onWindowShown), this);

    setupWebView();
    onWindowHidden(window_, this);  // built hidden: the idle time runs from now

    outsideClickMonitor_ = std::make_unique<OutsideClickMonitor>(
        background_.guard([this](Point root) { handleOutsidePress(root); }),
        background_.guardOr(1, [this] { return gtk_widget_get_scale_factor(window_); }));
    // XWayland reports no presses on Wayland windows: there, leaving the panel is what a
    // click outside it looks like.
    if (isWaylandSession())
        g_signal_connect(window_, "focus-out-event", G_CALLBACK(onFocusOut), this);
}

gboolean FloatingTranslationPanel::onFocusOut(GtkWidget*, GdkEventFocus*, gpointer data) {
    auto* panel = static_cast<FloatingTranslationPanel*>(data);
    if (!panel->isVisible() || panel->store_.config().isPinned)
        return FALSE;
    panel->background_.post([panel] {
        // Menus of the page (a select, the context menu) take the focus only for a moment.
        if (!gtk_window_is_active(GTK_WINDOW(panel->window_)))
            panel->hide();
    });
    return FALSE;
}

FloatingTranslationPanel::~FloatingTranslationPanel() {
    background_.shutDown();  // posted results now find no panel
    outsideClickMonitor_.reset();
    if (idleReleaseTimer_)
        g_source_remove(idleReleaseTimer_);
    g_signal_handlers_disconnect_by_data(window_, this);
    g_signal_handlers_disconnect_by_data(gtk_widget_get_screen(window_), this);
    if (webView_) {
        g_signal_handlers_disconnect_by_data(webView_, this);
        if (auto* manager = webkit_web_view_get_user_content_manager(webView_))
            g_signal_handlers_disconnect_by_data(manager, this);
    }
    gtk_widget_destroy(window_);
}

void FloatingTranslationPanel::setupWebView() {
    // A context of its own, so that releasing the page ends its web process too; nothing
    // the page does is worth keeping on disk or in a cache.
    GObjectPtr<WebKitWebsiteDataManager> data(webkit_website_data_manager_new_ephemeral());
    webContext_ = GObjectPtr<WebKitWebContext>(WEBKIT_WEB_CONTEXT(
        g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data.get(), nullptr)));
    webkit_web_context_set_cache_model(webContext_.get(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    webkit_web_context_set_spell_checking_enabled(webContext_.get(), FALSE);
    // One small static page: software drawing is fast enough and leaves out the GPU
    // compositing buffers, about a third of the web process's memory; and nothing is
    // loaded that the page does not use.
    GObjectPtr<WebKitSettings> settings(webkit_settings_new_with_settings(
        "hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER, "enable-webgl",
        FALSE, "enable-media", FALSE, "enable-webaudio", FALSE, "enable-media-stream", FALSE,
        "enable-mediasource", FALSE, "enable-encrypted-media", FALSE, "enable-webrtc", FALSE,
        "enable-page-cache", FALSE, "enable-html5-database", FALSE, "enable-html5-local-storage",
        FALSE, "enable-dns-prefetching", FALSE, "enable-back-forward-navigation-gestures", FALSE,
        nullptr));
    GObjectPtr<WebKitUserContentManager> manager(webkit_user_content_manager_new());
    g_signal_connect(manager.get(), "script-message-received::vela", G_CALLBACK(onScriptMessage),
                     this);
    webkit_user_content_manager_register_script_message_handler(manager.get(), "vela");
    webView_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", webContext_.get(),
                                            "settings", settings.get(), "user-content-manager",
                                            manager.get(), nullptr));
    GdkRGBA transparent{0, 0, 0, 0};
    webkit_web_view_set_background_color(webView_, &transparent);
    g_signal_connect(webView_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(webView_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(webView_, "context-menu", G_CALLBACK(onContextMenu), this);
    g_signal_connect(webView_, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), this);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(webView_));
    if (isVisible())
        gtk_widget_show(GTK_WIDGET(webView_));
    loadPage();
}

void FloatingTranslationPanel::loadPage() {
    isWebLoaded_ = false;
    expectingPageLoad_ = true;
    std::string html(panelPageHtml());
    webkit_web_view_load_html(webView_, html.c_str(), nullptr);
}

void FloatingTranslationPanel::releasePage() {
    if (!webView_)
        return;
    g_signal_handlers_disconnect_by_data(webView_, this);
    if (auto* manager = webkit_web_view_get_user_content_manager(webView_))
        g_signal_handlers_disconnect_by_data(manager, this);
    gtk_widget_destroy(GTK_WIDGET(webView_));
    webView_ = nullptr;
    webContext_ = {};
    isWebLoaded_ = false;
    if (onPageReleased)
        onPageReleased();
}

void FloatingTranslationPanel::onWindowHidden(GtkWidget*, gpointer data) {
    auto* self = static_cast<FloatingTranslationPanel*>(data);
    if (self->idleReleaseTimer_)
        g_source_remove(self->idleReleaseTimer_);
    self->idleReleaseTimer_ =
        g_timeout_add(guint(self->idleReleaseDelay_.count()), &onIdleRelease, self);
}

void FloatingTranslationPanel::onWindowShown(GtkWidget*, gpointer data) {
    auto* self = static_cast<FloatingTranslationPanel*>(data);
    if (self->idleReleaseTimer_)
        g_source_remove(self->idleReleaseTimer_);
    self->idleReleaseTimer_ = 0;
}

gboolean FloatingTranslationPanel::onIdleRelease(gpointer data) {
    auto* self = static_cast<FloatingTranslationPanel*>(data);
    self->idleReleaseTimer_ = 0;
    if (!self->isVisible())
        self->releasePage();
    return G_SOURCE_REMOVE;
}

void FloatingTranslationPanel::onWebProcessTerminated(WebKitWebView*,
                                                      WebKitWebProcessTerminationReason,
                                                      gpointer data) {
    // A page without its process has dead buttons: load it again; the state it reported
    // comes back once it has loaded.
    static_cast<FloatingTranslationPanel*>(data)->loadPage();
}

gboolean FloatingTranslationPanel::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                                  WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<FloatingTranslationPanel*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
        return FALSE;  // the answer to a navigation already allowed
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && self->expectingPageLoad_) {
        self->expectingPageLoad_ = false;
        webkit_policy_decision_use(decision);
        return TRUE;
    }
    // Reload, back, links, new windows: the page would be lost, so none of them happens.
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

gboolean FloatingTranslationPanel::onContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
                                                 WebKitHitTestResult*, gpointer) {
    struct Item {
        WebKitContextMenuAction action;
        std::string_view label;
    };
    static constexpr Item editing[] = {
        {WEBKIT_CONTEXT_MENU_ACTION_CUT, PanelTexts::menuCut},
        {WEBKIT_CONTEXT_MENU_ACTION_COPY, PanelTexts::menuCopy},
        {WEBKIT_CONTEXT_MENU_ACTION_PASTE, PanelTexts::menuPaste},
        {WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL, PanelTexts::menuSelectAll},
    };
    // WebKit offers each editing item only where it applies; keep those, in Japanese.
    std::vector<Item> offered;
    for (const Item& item : editing) {
        for (GList* l = webkit_context_menu_get_items(menu); l; l = l->next) {
            auto* existing = static_cast<WebKitContextMenuItem*>(l->data);
            if (webkit_context_menu_item_get_stock_action(existing) == item.action) {
                offered.push_back(item);
                break;
            }
        }
    }
    webkit_context_menu_remove_all(menu);
    for (const Item& item : offered) {
        std::string label(item.label);
        webkit_context_menu_append(menu, webkit_context_menu_item_new_from_stock_action_with_label(
                                             item.action, label.c_str()));
    }
    return offered.empty();  // handled: no menu at all
}

// ---- script bridge ---------------------------------------------------------------

void FloatingTranslationPanel::runJS(const std::string& script) {
    if (!isWebLoaded_) {
        pendingJSQueue_.push_back(script);
        return;
    }
    webkit_web_view_evaluate_javascript(webView_, script.data(), gssize(script.size()), nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
}

void FloatingTranslationPanel::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<FloatingTranslationPanel*>(data);
    if (event == WEBKIT_LOAD_STARTED)
        self->recordingShortcut_ = false;  // a new page records nothing yet
    if (event == WEBKIT_LOAD_COMMITTED)
        self->expectingPageLoad_ = false;
    if (event != WEBKIT_LOAD_FINISHED || self->isWebLoaded_)
        return;
    self->isWebLoaded_ = true;
    self->syncConfigToWeb();
    self->syncWindowTransparency();  // every page, the first and any reloaded one
    if (!self->shortcutHint_.empty())
        self->runJS(velaAppCall("setShortcutHint", jsQuoted(self->shortcutHint_)));
    if (!self->pageState_.empty())
        self->runJS(velaAppCall("restoreState", self->pageState_));
    std::vector<std::string> queued;
    queued.swap(self->pendingJSQueue_);
    for (const auto& script : queued)
        self->runJS(script);
}

void FloatingTranslationPanel::syncConfigToWeb() {
    runJS(velaAppCall("applyConfig", jsonArgument(configurationPayload(
                                         store_.config(), store_.maskedApiKeyHint()))));
}

void FloatingTranslationPanel::sendRemoteModalToWeb(const RemoteModal& modal) {
    runJS(velaAppCall("showRemoteModal", jsonArgument(remoteModalPayload(modal))));
}

void FloatingTranslationPanel::presentRemoteModal(const RemoteModal& modal) {
    if (!isVisible()) {
        positionCenteredUpper();
        bringToFront();
        syncConfigToWeb();
    }
    sendRemoteModalToWeb(modal);
}

void FloatingTranslationPanel::presentRemoteDecision(const RemoteControlDecision& decision) {
    if (auto modal = remoteModalFor(decision))
        presentRemoteModal(*modal);
}

// ---- window ----------------------------------------------------------------------

void FloatingTranslationPanel::onCompositedChanged(GdkScreen*, gpointer data) {
    static_cast<FloatingTranslationPanel*>(data)->syncWindowTransparency();
}

void FloatingTranslationPanel::syncWindowTransparency() {
    GdkScreen* screen = gtk_widget_get_screen(window_);
    const bool transparent = gdk_screen_is_composited(screen) &&
                             gtk_widget_get_visual(window_) == gdk_screen_get_rgba_visual(screen);
    runJS(velaAppCall("setTransparentWindow", transparent ? "true" : "false"));
}

bool FloatingTranslationPanel::isVisible() const {
    return gtk_widget_get_visible(window_);
}

void FloatingTranslationPanel::setFrame(const Rect& frame) {
    frame_ = frame;
    Rect root = desktopToRoot(frame, currentDesktopLayout().primaryRoot);
    gtk_window_move(GTK_WINDOW(window_), int(std::lround(root.minX())),
                    int(std::lround(root.minY())));
    gtk_window_resize(GTK_WINDOW(window_), int(std::lround(root.width())),
                      int(std::lround(root.height())));
}

Rect FloatingTranslationPanel::visibleFrameForSelection(
    const std::optional<Rect>& selection) const {
    DesktopLayout layout = currentDesktopLayout();
    auto index = screenForSelection(layout.screens, selection, currentMouseLocation(layout), 0);
    return index ? layout.screens[*index].visibleFrame : fallbackVisibleFrame;
}

void FloatingTranslationPanel::resizePanel(Size size) {
    setFrame(resizedPanelFrame(frame_, size, visibleFrameForSelection(std::nullopt)));
}

void FloatingTranslationPanel::positionCenteredUpper() {
    Point origin = centeredUpperOrigin(frame_.size, visibleFrameForSelection(std::nullopt));
    setFrame(Rect(origin, frame_.size));
}

void FloatingTranslationPanel::bringToFront() {
    if (!webView_)
        setupWebView();  // released while hidden
    GtkWindow* win = GTK_WINDOW(window_);
    gtk_window_set_keep_above(win, TRUE);
    if (!isVisible()) {
        setFrame(frame_);
        gtk_widget_show_all(window_);
        // A window shown again is mapped where it was hidden, whatever was asked while
        // it was hidden; ask again now that it is mapped.
        setFrame(frame_);
    }
    guint32 time = GDK_CURRENT_TIME;
    if (GdkWindow* gdkWindow = gtk_widget_get_window(window_);
        gdkWindow && GDK_IS_X11_WINDOW(gdkWindow)) {
        time = gdk_x11_get_server_time(gdkWindow);
    }
    gtk_window_present_with_time(win, time);
    gtk_widget_grab_focus(GTK_WIDGET(webView_));
}

void FloatingTranslationPanel::hide() {
    gtk_widget_hide(window_);
}

void FloatingTranslationPanel::handleOutsidePress(Point root) {
    if (!isVisible() || store_.config().isPinned)
        return;
    if (contains(desktopToRoot(frame_, currentDesktopLayout().primaryRoot), root))
        return;  // a click on the panel itself
    background_.post([this] { hide(); });
}

// ---- show operations -------------------------------------------------------------

void FloatingTranslationPanel::showForTextInput(const std::optional<std::string>& initialText,
                                                bool shouldAutoTranslate) {
    resizePanel(defaultPanelSize);
    positionCenteredUpper();
    bringToFront();
    syncConfigToWeb();
    if (initialText && !initialText->empty()) {
        runJS(velaAppCall("setSourceAndTranslate", jsQuoted(*initialText)));
        if (shouldAutoTranslate)
            triggerNativeTranslation(*initialText, std::nullopt, std::nullopt, false);
    } else {
        runJS(velaAppCall("focusSourceInput"));
    }
}

void FloatingTranslationPanel::showWithOCRResult(const OCRCaptureResult& result) {
    resizePanel(defaultPanelSize);
    if (result.kind() == OCRCaptureResult::Kind::permissionDenied) {
        positionCenteredUpper();
    } else {
        Rect visible = visibleFrameForSelection(result.screenRect());
        Point origin = TextProcessor::clampWindowOrigin(result.screenRect(), frame_.size, visible,
                                                        panelSelectionGap);
        setFrame(Rect(origin, frame_.size));
    }
    bringToFront();
    syncConfigToWeb();
    switch (result.kind()) {
        case OCRCaptureResult::Kind::recognized:
            runJS(velaAppCall("setSourceAndTranslate", jsQuoted(result.text())));
            triggerNativeTranslation(result.text(), std::nullopt, std::nullopt, false);
            break;
        case OCRCaptureResult::Kind::emptyText:
            runJS(velaAppCall("showEmptyOCR"));
            break;
        case OCRCaptureResult::Kind::permissionDenied:
            runJS(velaAppCall("showPermissionError"));
            break;
    }
}

void FloatingTranslationPanel::setShortcutHint(const std::string& hint) {
    shortcutHint_ = hint;
    runJS(velaAppCall("setShortcutHint", jsQuoted(hint)));
}

void FloatingTranslationPanel::showNotice(const std::string& title, const std::string& hint) {
    runJS(velaAppCall("showNotice", jsQuoted(title) + ", " + jsQuoted(hint)));
}

void FloatingTranslationPanel::showSettingsModal() {
    if (!isVisible()) {
        positionCenteredUpper();
        bringToFront();
        syncConfigToWeb();
    }
    resizePanel(settingsPanelSize);
    syncConfigToWeb();
    runJS(velaAppCall("openSettings", "true"));
}

// ---- translation -----------------------------------------------------------------

void FloatingTranslationPanel::triggerNativeTranslation(
    const std::string& text, const std::optional<std::string>& sourceLang,
    const std::optional<std::string>& targetLang, bool isManualTarget) {
    currentTranslation_.request_stop();  // its answer, even one already posted, is dropped
    if (sourceLang || targetLang) {
        store_.update([&](VelaConfig& c) {  // one save for both choices
            c.sourceLanguage = sourceLang.value_or(c.sourceLanguage);
            c.targetLanguage = targetLang.value_or(c.targetLanguage);
        });
    }
    runJS(velaAppCall("setLoading"));
    VelaConfig stored = store_.config();
    std::string source = sourceLang.value_or(stored.sourceLanguage);
    std::string target = targetLang.value_or(stored.targetLanguage);
    TranslationCoordinator& coordinator = coordinator_;
    currentTranslation_ = background_.run(
        [=, &coordinator](std::stop_token stop) {
            return coordinator.translate(text, source, target, isManualTarget, stop);
        },
        [this](const TranslationOutcome& outcome) { runJS(outcomeScript(outcome)); });
}

// ---- page messages ---------------------------------------------------------------

void FloatingTranslationPanel::onScriptMessage(WebKitUserContentManager*,
                                               WebKitJavascriptResult* result, gpointer data) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    g_autofree char* json = jsc_value_to_json(value, 0);
    if (!json)
        return;
    static_cast<FloatingTranslationPanel*>(data)->handlePageMessage(json);
}

void FloatingTranslationPanel::handlePageMessage(std::string_view json) {
    auto message = decodePanelMessage(json);
    if (!message)
        return;
    std::visit([this](const auto& action) { perform(action); }, *message);
}

void FloatingTranslationPanel::perform(const PanelAction::Translate& a) {
    triggerNativeTranslation(a.text, a.sourceLang, a.targetLang, a.isManual);
}

void FloatingTranslationPanel::perform(const PanelAction::SwapLanguages& a) {
    VelaConfig stored = store_.config();
    LanguagePair swapped = LanguageDetector::swap(a.sourceLang.value_or(stored.sourceLanguage),
                                                  a.targetLang.value_or(stored.targetLanguage));
    store_.update([&](VelaConfig& c) {
        c.sourceLanguage = swapped.source;
        c.targetLanguage = swapped.target;
    });
    runJS(velaAppCall("applySwappedLanguages",
                      jsQuoted(swapped.source) + ", " + jsQuoted(swapped.target)));
    if (!trimmed(a.text).empty())
        triggerNativeTranslation(a.text, swapped.source, swapped.target, false);
}

void FloatingTranslationPanel::perform(const PanelAction::TogglePin& a) {
    store_.update([&](VelaConfig& c) { c.isPinned = a.isPinned; });
    gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);  // the same level either way
}

void FloatingTranslationPanel::perform(const PanelAction::Copy& a) {
    if (!a.text.empty())
        setClipboardText(a.text);
}

void FloatingTranslationPanel::perform(const PanelAction::OpenSettings& a) {
    if (a.open) {
        resizePanel(settingsPanelSize);
        syncConfigToWeb();
    } else {
        resizePanel(defaultPanelSize);
    }
}

void FloatingTranslationPanel::perform(const PanelAction::OpenExternalURL& a) {
    if (isOpenableWebURL(a.url) && openURL)
        openURL(a.url);
}

void FloatingTranslationPanel::perform(const PanelAction::DismissRemotePopup& a) {
    if (!a.id.empty())
        store_.update([&](VelaConfig& c) { c.dismissedPopupId = a.id; });
}

void FloatingTranslationPanel::perform(const PanelAction::TriggerDemoRemotePopup&) {
    presentRemoteModal(broadcastModal(RemotePopupNotice{
        std::string(PanelTexts::campaignNoticeIdPrefix) + std::to_string(std::time(nullptr)),
        std::string(PanelTexts::demoNoticeTitle), std::string(PanelTexts::demoNoticeMessage),
        std::string(PanelTexts::demoNoticeButton), std::string(PanelTexts::demoNoticeURL)}));
}

void FloatingTranslationPanel::perform(const PanelAction::TestConnection& a) {
    VelaConfig stored = store_.config();
    std::string baseURL = a.baseURL.value_or(stored.customBaseURL);
    std::string apiKey = trimmed(a.apiKey.value_or(""));
    if (apiKey.empty())
        apiKey = stored.customApiKey;
    std::string model = a.model.value_or(stored.customModel);
    TranslationCoordinator& coordinator = coordinator_;
    background_.run(
        [=, &coordinator](std::stop_token stop) {
            return coordinator.testConnection(baseURL, apiKey, model, stop);
        },
        [this](const ConnectionTestResult& result) {
            if (const auto* ok = std::get_if<std::string>(&result)) {
                runJS(velaAppCall("showTestConnectionResult", "true, " + jsQuoted(*ok)));
            } else {
                runJS(velaAppCall(
                    "showTestConnectionResult",
                    "false, " + jsQuoted(std::get<ConnectionTestError>(result).message)));
            }
        });
}

void FloatingTranslationPanel::perform(const PanelAction::SaveSettings& a) {
    auto planned = planSaveSettings(a, store_.config(), &virtualKeyCode);
    if (const auto* refusal = std::get_if<std::string>(&planned)) {
        runJS(velaAppCall("showSettingsError", jsQuoted(*refusal)));
        return;
    }
    const SaveSettingsPlan& plan = std::get<SaveSettingsPlan>(planned);
    ConfigStore::SystemVerifier verifier;
    if (onRegisterShortcuts)
        verifier = onRegisterShortcuts;
    if (auto error = store_.updateShortcuts(plan.captureShortcut, plan.textShortcut, verifier)) {
        runJS(velaAppCall("showSettingsError", jsQuoted(userMessage(*error))));
        return;
    }
    store_.update([&](VelaConfig& c) {
        c.channelMode = plan.channelMode;
        c.customBaseURL = plan.customBaseURL;
        c.customApiKey = plan.customApiKey;
        c.customModel = plan.customModel;
        c.launchAtLogin = plan.launchAtLogin;
    });
    syncLaunchAtLogin(plan.launchAtLogin);
    if (onShortcutsChanged)
        onShortcutsChanged();
    syncConfigToWeb();
    resizePanel(defaultPanelSize);
    runJS(velaAppCall("openSettings", "false"));
}

void FloatingTranslationPanel::perform(const PanelAction::CloseWindow& a) {
    if (!a.force && store_.config().isPinned)
        return;
    // Hidden from the main loop, as outside clicks do: hiding inside the page's callback,
    // while the key that asked for it (Escape) is still being handled, makes an input
    // method lose the first key after the panel is shown again.
    background_.post([this] { hide(); });
}

void FloatingTranslationPanel::perform(const PanelAction::StartWindowDrag&) {
    // Script messages arrive after their input event is gone, so there is no current
    // event to start a system drag with; the page follows up with moveWindowBy steps,
    // which move the panel (doing both would move it twice as far).
}

void FloatingTranslationPanel::perform(const PanelAction::MoveWindowBy& a) {
    if (!a.dx || !a.dy)
        return;
    // The page's y grows downwards, the desktop's upwards.
    setFrame(Rect(frame_.minX() + *a.dx, frame_.minY() - *a.dy, frame_.width(), frame_.height()));
}

void FloatingTranslationPanel::perform(const PanelAction::PasteClipboardToActiveInput&) {
    pasteClipboardDirectly();
}

void FloatingTranslationPanel::perform(const PanelAction::ShortcutRecording& a) {
    recordingShortcut_ = a.recording;
}

void FloatingTranslationPanel::perform(const PanelAction::PageState& a) {
    pageState_ = a.state;
    if (GdkWindow* window = gtk_widget_get_window(window_)) {
        gdk_property_change(window, gdk_atom_intern_static_string(pageStateProperty),
                            gdk_atom_intern_static_string("UTF8_STRING"), 8, GDK_PROP_MODE_REPLACE,
                            reinterpret_cast<const guchar*>(pageState_.data()),
                            static_cast<gint>(pageState_.size()));
    }
}

void FloatingTranslationPanel::pasteClipboardDirectly() {
    auto text = clipboardText();
    if (!text || text->empty())
        return;
    runJS(velaAppCall("pasteText", jsQuoted(*text)));
}

// ---- input -----------------------------------------------------------------------

gboolean FloatingTranslationPanel::onKeyPress(GtkWidget* window, GdkEventKey* event,
                                              gpointer data) {
    auto* self = static_cast<FloatingTranslationPanel*>(data);
    if (self->recordingShortcut_) {
        // Straight to the page: no editing command and no window accelerator (Ctrl+Q,
        // Ctrl+,) acts on a key that is being recorded.
        gtk_window_propagate_key_event(GTK_WINDOW(window), event);
        return TRUE;
    }
    if (!(event->state & GDK_CONTROL_MASK) || !self->webView_)
        return FALSE;
    const bool shift = event->state & GDK_SHIFT_MASK;
    const char* command = nullptr;
    switch (gdk_keyval_to_lower(event->keyval)) {
        case GDK_KEY_v: {
            // Paste natively when the focused element takes it, else insert by script.
            auto answer = std::make_unique<std::function<void(WebKitWebView*, bool)>>(
                self->background_.guard([self](WebKitWebView* view, bool can) {
                    if (can)
                        webkit_web_view_execute_editing_command(view, WEBKIT_EDITING_COMMAND_PASTE);
                    else
                        self->pasteClipboardDirectly();
                }));
            webkit_web_view_can_execute_editing_command(
                self->webView_, WEBKIT_EDITING_COMMAND_PASTE, nullptr,
                [](GObject* view, GAsyncResult* result, gpointer data) {
                    std::unique_ptr<std::function<void(WebKitWebView*, bool)>> answer(
                        static_cast<std::function<void(WebKitWebView*, bool)>*>(data));
                    const bool can = webkit_web_view_can_execute_editing_command_finish(
                        WEBKIT_WEB_VIEW(view), result, nullptr);
                    (*answer)(WEBKIT_WEB_VIEW(view), can);
                },
                answer.release());
            return TRUE;
        }
        case GDK_KEY_c:
            command = WEBKIT_EDITING_COMMAND_COPY;
            break;
        case GDK_KEY_x:
            command = WEBKIT_EDITING_COMMAND_CUT;
            break;
        case GDK_KEY_a:
            command = WEBKIT_EDITING_COMMAND_SELECT_ALL;
            break;
        case GDK_KEY_z:
            command = shift ? WEBKIT_EDITING_COMMAND_REDO : WEBKIT_EDITING_COMMAND_UNDO;
            break;
        default:
            return FALSE;
    }
    webkit_web_view_execute_editing_command(self->webView_, command);
    return TRUE;
}

}  // namespace vela
