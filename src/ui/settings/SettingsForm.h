// The pieces every settings page is made of: a section with its header and footer, and a caption.
#pragma once

#include <QString>

class QLabel;
class QVBoxLayout;
class QWidget;

namespace korvane {

// A section appended to `page`: its header above a framed group, its footer (when not empty) below in the
// caption style. Answers the group's layout for the section's rows.
QVBoxLayout* addSettingsSection(QVBoxLayout* page, const QString& header, const QString& footer = {});
// Small text in the secondary colour, wrapped.
QLabel* makeCaption(const QString& text, QWidget* parent = nullptr);
// The secondary text colour of the palette in use, for labels that are not captions.
void makeSecondary(QWidget* widget);

} // namespace korvane
