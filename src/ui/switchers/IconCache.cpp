// Rendering reads pictures the desktop names (pixels of a window's icon, image files of icon themes),
// which may be missing, unreadable or of any size: each source that yields no picture passes to the
// next, and whatever is found is drawn into a fresh 128 by 128 image, so that tiles never depend on the
// source's size or format.
#include "ui/switchers/IconCache.h"

#include "platform/Platform.h"
#include "platform/ProcessWide.h"

#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <utility>

namespace korvane {

namespace {

platform::ProcessWide<IconCache> gShared;

QImage imageOf(const platform::IconImage& icon) {
    if (!icon.argb.empty() && icon.width > 0 && icon.height > 0 &&
        icon.argb.size() >= static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height)) {
        QImage image(icon.width, icon.height, QImage::Format_ARGB32);
        for (int y = 0; y < icon.height; ++y)
            for (int x = 0; x < icon.width; ++x)
                image.setPixel(x, y, icon.argb[static_cast<std::size_t>(y) * icon.width + x]);
        return image;
    }
    if (!icon.path.empty()) {
        QImageReader reader(QString::fromStdString(icon.path));
        // A picture that claims to be enormous is not decoded.
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > 4096 || size.height() > 4096)) return {};
        return reader.read();
    }
    return {};
}

// A neutral application shape: a window with a title bar on a rounded tile.
QImage placeholder() {
    QImage image(IconCache::kSide, IconCache::kSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(8, 8, 112, 112), 24, 24);
    painter.fillPath(tile, QColor(88, 92, 104));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(236, 238, 242));
    painter.drawRoundedRect(QRectF(28, 36, 72, 56), 6, 6);
    painter.setBrush(QColor(150, 156, 170));
    painter.drawRoundedRect(QRectF(28, 36, 72, 14), 6, 6);
    painter.drawRect(QRectF(28, 44, 72, 6));
    return image;
}

} // namespace

IconCache::IconCache(platform::Platform& platform)
    : platform_(platform), serialQueue_(platform.runLoop().makeSerialQueue("com.korvane.IconCache")) {}

std::shared_ptr<IconCache> IconCache::shared() {
    return gShared.get([](platform::Platform& platform) { return std::make_shared<IconCache>(platform); });
}

void IconCache::setShared(std::shared_ptr<IconCache> instance) {
    gShared.set(std::move(instance));
}

void IconCache::icon(const std::string& bundleID, pid_t pid, std::function<void(const QImage&)> completion) {
    load(bundleID, pid, std::move(completion));
}

void IconCache::icon(const std::string& bundleID, std::function<void(const QImage&)> completion) {
    load(bundleID, std::nullopt, std::move(completion));
}

void IconCache::load(const std::string& bundleID, std::optional<pid_t> pid,
                     std::function<void(const QImage&)> completion) {
    if (auto hit = lookUp(bundleID)) {
        completion(*hit);
        return;
    }
    platform::RunLoop& loop = platform_.runLoop();
    serialQueue_->async([weak = weak_from_this(), bundleID, pid, &loop, completion = std::move(completion)] {
        auto self = weak.lock();
        if (!self) return;
        // -1 names no process: the picture then comes from the installed application or the desktop.
        pid_t owner = pid.value_or(-1);
        if (!pid)
            for (const auto& app : self->platform_.workspace().runningApplications())
                if (app.bundleID == bundleID) {
                    owner = app.pid;
                    break;
                }
        QImage image = self->renderIcon(bundleID, owner);
        self->store(bundleID, image);
        loop.post([image = std::move(image), completion] { completion(image); });
    });
}

QImage IconCache::renderIcon(const std::string& bundleID, pid_t pid) {
    auto& workspace = platform_.workspace();
    QImage source;
    if (auto own = workspace.iconForRunningApplication(pid)) source = imageOf(*own);
    if (source.isNull())
        if (auto url = workspace.urlForApplication(bundleID))
            if (auto installed = workspace.iconForFile(*url)) source = imageOf(*installed);
    if (source.isNull())
        if (auto generic = workspace.genericApplicationIcon()) source = imageOf(*generic);
    if (source.isNull()) return placeholder();

    QImage image(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(0, 0, kSide, kSide), source);
    return image;
}

std::optional<QImage> IconCache::cached(const std::string& bundleID) const {
    std::lock_guard lock(mutex_);
    auto it = index_.find(bundleID);
    if (it == index_.end()) return std::nullopt;
    return it->second->second;
}

std::size_t IconCache::cachedCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::optional<QImage> IconCache::lookUp(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto it = index_.find(key);
    if (it == index_.end()) return std::nullopt;
    entries_.splice(entries_.begin(), entries_, it->second);
    return it->second->second;
}

void IconCache::store(const std::string& key, const QImage& image) {
    std::lock_guard lock(mutex_);
    if (auto it = index_.find(key); it != index_.end()) {
        it->second->second = image;
        entries_.splice(entries_.begin(), entries_, it->second);
        return;
    }
    entries_.emplace_front(key, image);
    index_[key] = entries_.begin();
    totalCost_ += kEntryCost;
    while (entries_.size() > kCountLimit || totalCost_ > kTotalCostLimit) {
        index_.erase(entries_.back().first);
        entries_.pop_back();
        totalCost_ -= kEntryCost;
    }
}

} // namespace korvane
