#include "app/hotkeys/PortalGlobalShortcuts.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <utility>

#include "app/hotkeys/HotKeyTexts.h"
#include "app/platform/PortalRequest.h"

namespace vela {
namespace {

constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";

// The XDG shortcuts format's modifier names, in the order they are written.
constexpr std::array<std::pair<ShortcutModifier, const char*>, 4> kTriggerModifiers{{
    {ShortcutModifier::control, "CTRL"},
    {ShortcutModifier::option, "ALT"},
    {ShortcutModifier::shift, "SHIFT"},
    {ShortcutModifier::command, "LOGO"},
}};

// a(sa{sv}): each shortcut's id with its description and preferred trigger.
GVariant* shortcutList(const ShortcutConfig& capture, const ShortcutConfig& text) {
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
    const std::array<std::tuple<const char*, std::string_view, const ShortcutConfig*>, 2> entries{{
        {PortalGlobalShortcuts::kCaptureId, HotKeyTexts::captureShortcutDescription, &capture},
        {PortalGlobalShortcuts::kTextId, HotKeyTexts::textShortcutDescription, &text},
    }};
    for (const auto& [id, description, shortcut] : entries) {
        GVariantBuilder properties;
        g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&properties, "{sv}", "description",
                              g_variant_new_string(std::string(description).c_str()));
        if (const std::optional<std::string> trigger = portalTrigger(*shortcut))
            g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                                  g_variant_new_string(trigger->c_str()));
        g_variant_builder_add(&list, "(sa{sv})", id, &properties);
    }
    return g_variant_builder_end(&list);
}

// The session handle of a CreateSession answer: a string in the portal's documentation, an
// object path from some portal versions.
std::string sessionHandle(GVariant* results) {
    GVariantPtr handle(g_variant_lookup_value(results, "session_handle", nullptr));
    if (handle && (g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_STRING) ||
                   g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_OBJECT_PATH)))
        return g_variant_get_string(handle.get(), nullptr);
    return {};
}

// Whether the BindShortcuts answer lists both ids among the shortcuts it bound.
bool bindsBoth(GVariant* results) {
    GVariantPtr bound(g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})")));
    if (!bound)
        return false;
    bool capture = false;
    bool text = false;
    GVariantIter iter;
    g_variant_iter_init(&iter, bound.get());
    const gchar* id = nullptr;
    GVariant* properties = nullptr;
    while (g_variant_iter_next(&iter, "(&s@a{sv})", &id, &properties)) {
        capture = capture || std::string_view(id) == PortalGlobalShortcuts::kCaptureId;
        text = text || std::string_view(id) == PortalGlobalShortcuts::kTextId;
        g_variant_unref(properties);
    }
    return capture && text;
}

// Plasma's portal reports a shortcut as bound, with its preferred trigger, even when its
// shortcut daemon (kglobalaccel) left it without keys because another component holds them.
// Where kglobalaccel serves the session, ask it: the portal session is its component named
// after the session token. False only when the component says a shortcut has no key.
bool kglobalaccelAssignedKeys(GDBusConnection* bus, const std::string& sessionToken,
                              std::chrono::milliseconds timeout) {
    const std::string component = "/component/" + sessionToken;
    GVariantPtr infos(g_dbus_connection_call_sync(
        bus, "org.kde.kglobalaccel", component.c_str(), "org.kde.kglobalaccel.Component",
        "allShortcutInfos", nullptr, G_VARIANT_TYPE("(a(ssssssaiai))"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<int>(timeout.count()), nullptr, nullptr));
    if (!infos)
        return true;  // another desktop, or a Plasma that names its components otherwise
    GVariantIter* iter = nullptr;
    g_variant_get(infos.get(), "(a(ssssssaiai))", &iter);
    bool assigned = true;
    GVariant* keys = nullptr;
    while (g_variant_iter_next(iter, "(ssssss@aiai)", nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, &keys, nullptr)) {
        gsize count = 0;
        const gint32* codes =
            static_cast<const gint32*>(g_variant_get_fixed_array(keys, &count, sizeof(gint32)));
        assigned = assigned && std::any_of(codes, codes + count, [](gint32 c) { return c != 0; });
        g_variant_unref(keys);
    }
    g_variant_iter_free(iter);
    return assigned;
}

// The keysym name of a letter, digit, function key (F1-F35) or SPACE key position on a US
// layout, the keys a desktop's shortcut settings accept everywhere; none for other names.
std::optional<std::string> xdgKeyName(std::string_view key) {
    if (key == "SPACE")
        return "space";
    if (key.size() == 1 && ((key[0] >= 'A' && key[0] <= 'Z') || (key[0] >= '0' && key[0] <= '9')))
        return std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(key[0]))));
    const bool functionKey =
        key.size() >= 2 && key.size() <= 3 && key[0] == 'F' && key[1] != '0' &&
        std::all_of(key.begin() + 1, key.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        std::stoi(std::string(key.substr(1))) <= 35;
    if (functionKey)
        return std::string(key);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> portalTrigger(const ShortcutConfig& shortcut) {
    const std::optional<std::string> keysym = xdgKeyName(shortcut.key);
    if (!keysym)
        return std::nullopt;
    std::string trigger;
    for (const auto& [modifier, name] : kTriggerModifiers)
        if (std::ranges::find(shortcut.modifiers, modifier) != shortcut.modifiers.end())
            trigger.append(name).append("+");
    return trigger + *keysym;
}

PortalGlobalShortcuts::PortalGlobalShortcuts(std::chrono::milliseconds timeout)
    : timeout_(timeout), bus_(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
    unregisterAll();
}

bool PortalGlobalShortcuts::available(std::chrono::milliseconds timeout) {
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!bus)
        return false;
    // The interface's "version" property exists exactly when the portal offers it.
    GVariantPtr reply(g_dbus_connection_call_sync(
        bus.get(), kPortalBusName, kPortalObjectPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kInterface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        static_cast<int>(timeout.count()), nullptr, nullptr));
    return reply != nullptr;
}

bool PortalGlobalShortcuts::registerShortcuts(const ShortcutConfig& capture,
                                              const ShortcutConfig& text) {
    unregisterAll();
    if (!bus_)
        return false;

    // Activations can come as soon as the shortcuts are bound: listen before binding. The
    // subscription delivers in the context that is thread-default now: the main loop's.
    g_main_context_push_thread_default(g_main_context_default());
    subscription_ = g_dbus_connection_signal_subscribe(
        bus_.get(), kPortalBusName, kInterface, "Activated", kPortalObjectPath, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, &PortalGlobalShortcuts::onActivated, this, nullptr);
    g_main_context_pop_thread_default(g_main_context_default());

    // Plasma 5.27 binds only the shortcuts named when the session is created (its
    // BindShortcuts binds nothing), newer desktops only those of BindShortcuts: name them in
    // both.
    const std::string requestToken = newPortalToken();
    const std::string sessionToken = newPortalToken();
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token",
                          g_variant_new_string(requestToken.c_str()));
    g_variant_builder_add(&options, "{sv}", "session_handle_token",
                          g_variant_new_string(sessionToken.c_str()));
    g_variant_builder_add(&options, "{sv}", "shortcuts", shortcutList(capture, text));
    const std::optional<PortalResponse> created =
        callPortalRequest(bus_.get(), kInterface, "CreateSession",
                          g_variant_new("(a{sv})", &options), requestToken, timeout_);
    if (!created || created->code != 0 ||
        (session_ = sessionHandle(created->results.get())).empty()) {
        unregisterAll();
        return false;
    }

    const std::string bindToken = newPortalToken();
    GVariantBuilder bindOptions;
    g_variant_builder_init(&bindOptions, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&bindOptions, "{sv}", "handle_token",
                          g_variant_new_string(bindToken.c_str()));
    const std::optional<PortalResponse> bound =
        callPortalRequest(bus_.get(), kInterface, "BindShortcuts",
                          g_variant_new("(o@a(sa{sv})sa{sv})", session_.c_str(),
                                        shortcutList(capture, text), "", &bindOptions),
                          bindToken, timeout_);
    if (!bound || bound->code != 0 || !bindsBoth(bound->results.get()) ||
        !kglobalaccelAssignedKeys(bus_.get(), sessionToken, timeout_)) {
        unregisterAll();
        return false;
    }
    return true;
}

void PortalGlobalShortcuts::unregisterAll() {
    if (subscription_ != 0) {
        g_dbus_connection_signal_unsubscribe(bus_.get(), subscription_);
        subscription_ = 0;
    }
    if (!session_.empty()) {
        // Sent without waiting: the desktop drops the session's shortcuts when it arrives.
        g_dbus_connection_call(bus_.get(), kPortalBusName, session_.c_str(),
                               "org.freedesktop.portal.Session", "Close", nullptr, nullptr,
                               G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
        session_.clear();
    }
}

void PortalGlobalShortcuts::onActivated(GDBusConnection*, const char*, const char*, const char*,
                                        const char*, GVariant* parameters, gpointer self) {
    auto& owner = *static_cast<PortalGlobalShortcuts*>(self);
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})")))
        return;
    const gchar* session = nullptr;
    const gchar* id = nullptr;
    g_variant_get(parameters, "(&o&sta{sv})", &session, &id, nullptr, nullptr);
    if (owner.session_ != session)
        return;
    // A copy: the callback may replace itself.
    const std::function<void()> callback = std::string_view(id) == kCaptureId ? owner.onCapture
                                           : std::string_view(id) == kTextId  ? owner.onText
                                                                              : nullptr;
    if (callback)
        callback();
}

}  // namespace vela
