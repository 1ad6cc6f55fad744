// Pictures of the windows the view tests show, left under build/screenshots for a person to look at. Each
// test target that includes this names the folder as KORVANE_SCREENSHOT_DIR.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QString>
#include <QWidget>

#include <string>

namespace korvane::testing {

// Writes the picture as a PNG of that name; a folder or a file that cannot be written fails the test.
inline void saveScreenshot(const QImage& picture, const std::string& name) {
    ASSERT_TRUE(QDir().mkpath(KORVANE_SCREENSHOT_DIR));
    const QString path = QString(KORVANE_SCREENSHOT_DIR) + "/" + QString::fromStdString(name);
    EXPECT_TRUE(picture.save(path, "PNG")) << path.toStdString();
}

// The widget as it draws itself, its children included.
inline void saveScreenshot(QWidget& widget, const std::string& name) {
    saveScreenshot(widget.grab().toImage(), name);
}

} // namespace korvane::testing
