// The scene canvas's state, its view hooks, the hint line, and its side of the bridge.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "layouts/LayoutTemplateResolver.h"
#include "layouts/LayoutTreeEditorModel.h"
#include "platform/Platform.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "ui/scene_editor/BundleInfoCache.h"

#include <utility>

namespace korvane {

namespace {

constexpr Nanos kHintDuration = 2 * kNanosPerSecond;

} // namespace

const LayoutNode* CanvasGeometrySource::tree() const {
    if (const auto* t = std::get_if<Template>(&value)) return &t->tree;
    if (const auto* i = std::get_if<Inline>(&value)) return &i->tree;
    return nullptr;
}

SceneGeometryCanvasModel::SceneGeometryCanvasModel(platform::Platform& platform, Inputs inputs,
                                                   std::shared_ptr<BundleInfoCache> cache)
    : platform_(platform), inputs_(std::move(inputs)), cache_(std::move(cache)),
      bundleResolveToken_(platform.processInfo().makeUUID()) {}

SceneGeometryCanvasModel::~SceneGeometryCanvasModel() = default;

std::shared_ptr<SceneGeometryCanvasModel>
SceneGeometryCanvasModel::make(platform::Platform& platform, Inputs inputs,
                               std::shared_ptr<BundleInfoCache> cache) {
    if (!cache) cache = BundleInfoCache::shared();
    std::shared_ptr<SceneGeometryCanvasModel> model(
        new SceneGeometryCanvasModel(platform, std::move(inputs), std::move(cache)));
    if (auto bridge = model->inputs_.canvasBridge) {
        // A command is run as the view delivers the token's change: after the code that posted it returned.
        std::weak_ptr<SceneGeometryCanvasModel> weak = model;
        model->bridgeObservation_ = bridge->subscribe([weak](SceneEditorCanvasBridge::Property property) {
            if (property != SceneEditorCanvasBridge::Property::commandToken) return;
            if (auto self = weak.lock())
                self->postToSelf([](SceneGeometryCanvasModel& canvas) { canvas.handleBridgeCommand(); });
        });
    }
    return model;
}

void SceneGeometryCanvasModel::postToSelf(std::function<void(SceneGeometryCanvasModel&)> work) {
    std::weak_ptr<SceneGeometryCanvasModel> weak = weak_from_this();
    platform_.runLoop().post([weak, work = std::move(work)] {
        if (auto self = weak.lock()) work(*self);
    });
}

void SceneGeometryCanvasModel::postSyncBridge() {
    postToSelf([](SceneGeometryCanvasModel& canvas) { canvas.syncBridge(); });
}

// ---- Hooks ----

void SceneGeometryCanvasModel::appear() {
    hasAppeared_ = true;
    postToSelf([](SceneGeometryCanvasModel& canvas) {
        canvas.isCanvasFocused_ = true;
        canvas.syncBridge();
        canvas.changed();
    });
    runReloadTask();
}

void SceneGeometryCanvasModel::runReloadTask() {
    loadedSignature_ = reloadSignature();
    resetFromScene();
    postToSelf([](SceneGeometryCanvasModel& canvas) {
        canvas.isCanvasFocused_ = true;
        canvas.syncBridge();
        canvas.changed();
    });
}

void SceneGeometryCanvasModel::setScene(WMScene scene) {
    const bool otherScene = scene.id != inputs_.scene.id;
    inputs_.scene = std::move(scene);
    if (otherScene) postSyncBridge();
    if (hasAppeared_ && reloadSignature() != loadedSignature_) runReloadTask();
}

void SceneGeometryCanvasModel::setCanvasSize(Size size) {
    if (size == canvasSize_) return;
    canvasSize_ = size;
    refreshGeometry(false);
    changed();
}

SceneGeometryCanvasModel::StoredHints SceneGeometryCanvasModel::storedWindowHints() const {
    const ScreenContext screens = ScreenContext::capture(platform_.screens());
    std::optional<WMScene> stored;
    if (inputs_.store) stored = inputs_.store->loadScene(inputs_.scene.id, screens);
    const WMScene& scene = stored ? *stored : inputs_.scene;
    if (auto own = scene.windowHints.find(inputs_.displayUUID); own != scene.windowHints.end())
        return {own->second, true};
    // A scene whose applications were all placed on one display that is not connected now shows them on
    // every display. Another connected display's applications are never shown here: that display has a
    // canvas of its own, and once one display alone has saved its applications they would appear on all.
    const std::vector<std::string> uuids = screens.displayUUIDs();
    return {scene.fallbackWindowHints({uuids.begin(), uuids.end()}).value_or(std::vector<WindowHint>{}),
            false};
}

std::string SceneGeometryCanvasModel::reloadSignature() const {
    const WMScene& scene = inputs_.scene;
    std::string hints;
    for (const auto& hint : storedWindowHints().hints) {
        if (!hints.empty()) hints += ',';
        hints += hint.bundleID + ":" + std::to_string(hint.zoneID);
    }
    std::string id = scene.id;
    for (char& c : id)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const auto ref = scene.layoutRefsByDisplay.find(inputs_.displayUUID);
    return id + "|" + inputs_.displayUUID + "|" +
           (ref == scene.layoutRefsByDisplay.end() ? "-" : ref->second) + "|" + hints;
}

// ---- State and commands ----

std::optional<std::pair<std::string, LayoutNode>>
SceneGeometryCanvasModel::referencedLayout(const WMScene& scene) const {
    const auto& refs = scene.layoutRefsByDisplay;
    const auto ref = refs.find(inputs_.displayUUID);
    if (ref == refs.end() || !inputs_.layoutTemplateResolver) return std::nullopt;
    const auto layout = inputs_.layoutTemplateResolver->regionSet(ref->second);
    if (!layout) return std::nullopt;
    auto tree = inputs_.layoutTemplateResolver->layoutTree(*layout);
    if (!tree) return std::nullopt;
    return std::pair{layout->name, std::move(*tree)};
}

LayoutNode SceneGeometryCanvasModel::loadedTree(const WMScene& scene) const {
    auto layout = referencedLayout(scene);
    return layout ? std::move(layout->second) : LayoutNode::region(1);
}

CanvasGeometrySource SceneGeometryCanvasModel::currentGeometrySource() const {
    auto layout = referencedLayout(inputs_.scene);
    if (!layout) return {};
    if (forceInlineEditing_) return {CanvasGeometrySource::Inline{std::move(layout->second)}};
    return {CanvasGeometrySource::Template{std::move(layout->first), std::move(layout->second)}};
}

void SceneGeometryCanvasModel::showHint(std::string text) {
    const std::int64_t token = ++hintToken_;
    hintMessage_ = std::move(text);
    changed();
    std::weak_ptr<SceneGeometryCanvasModel> weak = weak_from_this();
    platform_.runLoop().postAfter(kHintDuration, [weak, token] {
        auto self = weak.lock();
        // A newer hint owns the line and its own timer.
        if (!self || self->hintToken_ != token) return;
        self->hintMessage_.reset();
        self->changed();
    });
}

void SceneGeometryCanvasModel::syncBridge() {
    const auto& bridge = inputs_.canvasBridge;
    if (!bridge) return;
    bridge->setHasUnsavedChanges(isGeometryDirty_ || isWindowHintsDirty_);
    std::optional<std::string> templateName;
    bool canCustomize = false, canChange = false, canChoose = false;
    const CanvasGeometrySource source = currentGeometrySource();
    if (const auto* t = std::get_if<CanvasGeometrySource::Template>(&source.value)) {
        templateName = t->name;
        canCustomize = true;
        canChange = true;
    } else if (source.isNone()) {
        canChoose = inputs_.layoutTemplateResolver != nullptr;
    }
    bridge->setTemplateName(std::move(templateName));
    bridge->setCanCustomizeLayout(canCustomize);
    bridge->setCanChangeLayout(canChange);
    bridge->setCanChooseLayout(canChoose);
}

void SceneGeometryCanvasModel::handleBridgeCommand() {
    const auto& bridge = inputs_.canvasBridge;
    if (!bridge || !bridge->pendingCommand()) return;
    const SceneEditorCanvasBridge::Command command = *bridge->pendingCommand();
    bridge->setPendingCommand(std::nullopt);
    using Command = SceneEditorCanvasBridge::Command;
    switch (command) {
    case Command::save:
        saveAndReport();
        break;
    case Command::reset:
        resetFromScene();
        showHint("Reset");
        break;
    case Command::done:
        if (inputs_.onDone) inputs_.onDone();
        break;
    case Command::customizeLayout:
        customizeLayout();
        break;
    case Command::changeLayout:
        if (currentGeometrySource().isTemplate() && !forceInlineEditing_) {
            templatePickMode_ = TemplatePickMode::change;
            showTemplatePicker_ = true;
        }
        break;
    case Command::chooseLayout:
        if (currentGeometrySource().isNone() && inputs_.layoutTemplateResolver) {
            templatePickMode_ = TemplatePickMode::start;
            showTemplatePicker_ = true;
        }
        break;
    }
    changed();
}

// Each of these changes what the bridge reports, so the bridge hears of it once the change has settled.
void SceneGeometryCanvasModel::setForceInlineEditing(bool value) {
    if (forceInlineEditing_ == value) return;
    forceInlineEditing_ = value;
    postSyncBridge();
}

void SceneGeometryCanvasModel::setGeometryDirty(bool value) {
    if (isGeometryDirty_ == value) return;
    isGeometryDirty_ = value;
    postSyncBridge();
}

void SceneGeometryCanvasModel::setWindowHintsDirty(bool value) {
    if (isWindowHintsDirty_ == value) return;
    isWindowHintsDirty_ = value;
    postSyncBridge();
}

} // namespace korvane
