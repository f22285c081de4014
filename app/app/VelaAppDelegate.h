#pragma once
// The application: a tray utility with a floating panel. Builds the status menu and the
// panel's key equivalents, installs the two global hot keys, acts on the command line,
// runs the remote-control sync at launch and every two hours, and runs the screenshot
// translation flow (overlay, capture and recognition, panel).
//
// Ownership: owns the settings store, the translation coordinator and the panel (both
// created on first use and kept), the status indicator and its menu, the capture overlay
// while it is open, the screen source and recognition service of the captures, the sync
// timer and its background work. The hot-key manager is the process-wide shared instance.
// Threads: every member is main-thread only. Syncs and recognitions run as BackgroundWork;
// results arriving after the delegate is gone are dropped. The destructor stops the syncs
// and joins every worker (the program itself never destroys its delegate: quitting ends
// the process).
// Failures: none are reported. Without a D-Bus session bus there is no tray item (the
// menu still exists, unshown); without a monitor a capture does nothing.

#include <gtk/gtk.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/overlay/ScreenCaptureOverlayWindow.h"
#include "app/panel/FloatingTranslationPanel.h"
#include "app/platform/BackgroundWork.h"
#include "app/platform/GObjectPtr.h"
#include "app/platform/X11ScreenSource.h"
#include "core/capture/VisionOCRService.h"
#include "core/settings/ConfigStore.h"
#include "core/translation/TranslationCoordinator.h"

typedef struct _AppIndicator AppIndicator;

namespace vela {

class VelaAppDelegate {
  public:
    struct Options {
        // The settings file; none: the default location.
        std::optional<std::filesystem::path> settingsFile;
        // Builds the tray item when a session bus is reachable.
        bool statusIndicator = true;
        // How long the panel stays hidden before its page and the recognition engines
        // are released.
        std::chrono::milliseconds panelIdleRelease =
            FloatingTranslationPanel::defaultIdleReleaseDelay;
    };

    explicit VelaAppDelegate(std::vector<std::string> arguments);
    VelaAppDelegate(std::vector<std::string> arguments, Options options);
    ~VelaAppDelegate();
    VelaAppDelegate(const VelaAppDelegate&) = delete;
    VelaAppDelegate& operator=(const VelaAppDelegate&) = delete;

    // The launch sequence; once, after gtk_init.
    void applicationDidFinishLaunching();
    // What the switches of a launch ask for (the program's own, or a later launch's
    // forwarded by the running instance).
    void actOnCommandLine(const std::vector<std::string>& arguments);

    void setupMainMenu();
    void setupStatusBar();
    void setupHotKeys();
    void refreshMenuShortcutLabels();
    void triggerRemoteControlSync();

    // Menu actions.
    void handleCaptureMenu() { startScreenCapture(); }
    void handleTextMenu();
    void handleSettingsMenu();
    void handleDemoPopupMenu();
    void handleTourStep4ForceUpdate();
    void handleQuitMenu();
    // "--demo-popup": the panel for text input with the fixed launch notice.
    void showLaunchNotice();

    void startScreenCapture();

    ConfigStore& store() { return store_; }
    TranslationCoordinator& coordinator();
    FloatingTranslationPanel& floatingPanel();

    // What quitting does; ends the main loop unless replaced (tests).
    std::function<void()> onQuit;

    // The status menu and its two shortcut items (never null after setupStatusBar).
    GtkMenu* statusMenu() const { return statusMenu_.get(); }
    GtkMenuItem* captureMenuItem() const { return captureMenuItem_; }
    GtkMenuItem* textMenuItem() const { return textMenuItem_; }
    // The tray item, when one could be made.
    AppIndicator* statusItem() const { return statusItem_.get(); }
    // Null while selecting is not open; a capture that hides the panel opens it shortly
    // after (isCapturing is true meanwhile).
    ScreenCaptureOverlayWindow* overlayWindow() const { return overlayWindow_.get(); }
    bool isCapturing() const { return isCapturing_; }

  private:
    // The screen as this session lets Vela read it: the root window on X11, the
    // screenshot portal in a Wayland session.
    static X11ScreenSource::Options screenSourceOptions();
    VisionOCRService& ocrService();
    GtkMenuItem* appendItem(GtkMenuShell* menu, const std::string& title,
                            std::function<void(VelaAppDelegate&)> action, guint accelKey = 0);

    void openOverlay(GdkMonitor* monitor, bool panelWasVisible);
    void showOverlay(GdkMonitor* monitor, std::shared_ptr<const FrozenScreen> frozen,
                     bool panelWasVisible);
    // Shows a remote decision, or keeps it until the capture overlay has closed: a notice
    // must not come up above the overlay.
    void presentRemoteDecision(const RemoteControlDecision& decision);
    void endCapture();
    static gboolean onSyncTimer(gpointer self);
    static gboolean onRepaintedAfterHide(gpointer self);

    std::vector<std::string> arguments_;
    Options options_;
    ConfigStore store_;
    std::unique_ptr<TranslationCoordinator> coordinator_;      // created on first use
    std::unique_ptr<FloatingTranslationPanel> floatingPanel_;  // created on first use

    GObjectPtr<AppIndicator> statusItem_;
    GObjectPtr<GtkMenu> statusMenu_;          // sunk reference
    GtkMenuItem* captureMenuItem_ = nullptr;  // owned by the menu
    GtkMenuItem* textMenuItem_ = nullptr;     // owned by the menu
    GObjectPtr<GtkAccelGroup> keyEquivalents_;
    GObjectPtr<GtkAccelGroup> menuAccelerators_;  // the tray menu's keys, outlives its items
    std::vector<std::unique_ptr<std::function<void()>>> menuActions_;  // signal data

    std::unique_ptr<ScreenCaptureOverlayWindow> overlayWindow_;
    bool isCapturing_ = false;
    guint pendingOverlay_ = 0;  // the overlay's opening, delayed after hiding the panel
    std::vector<RemoteControlDecision> decisionsAfterCapture_;
    X11ScreenSource screenSource_{screenSourceOptions()};
    std::unique_ptr<VisionOCRService> ocrService_;  // one for every capture
    int recognitionsRunning_ = 0;                   // their engines must stay

    guint remoteSyncTimer_ = 0;
    // The syncs, freezes and recognitions, and every callback that must not outlive this.
    BackgroundWork background_;
};

}  // namespace vela
