// The few symbol images that the program's cards and prompts show, drawn as vector shapes so that they
// look the same on every desktop, with or without an icon theme.
#pragma once

#include <QColor>
#include <QRectF>

#include <string_view>

class QPainter;

namespace korvane {

// Draws the named symbol centred in `box`, as tall as the box's smaller side, in `color`. Names: the
// filled circles "checkmark.circle.fill", "exclamationmark.circle.fill" and "lock.circle.fill" (the
// mark cut out of the disc), the outlined "info.circle", and "display.badge.plus" (a screen with a plus
// badge at its upper right). Answers false and draws nothing for any other name.
bool paintSymbol(QPainter& painter, std::string_view name, const QRectF& box, const QColor& color);

} // namespace korvane
