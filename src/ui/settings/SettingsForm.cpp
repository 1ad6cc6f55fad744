// The settings pages' sections and captions.
#include "ui/settings/SettingsForm.h"

#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QVBoxLayout>

namespace korvane {

QVBoxLayout* addSettingsSection(QVBoxLayout* page, const QString& header, const QString& footer) {
    auto* title = new QLabel(header);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    page->addWidget(title);

    auto* group = new QFrame;
    group->setObjectName("settingsSection");
    group->setFrameShape(QFrame::StyledPanel);
    group->setStyleSheet("#settingsSection { border: 1px solid palette(mid); border-radius: 6px; "
                         "background: palette(base); }");
    auto* rows = new QVBoxLayout(group);
    rows->setContentsMargins(12, 10, 12, 10);
    rows->setSpacing(8);
    page->addWidget(group);

    if (!footer.isEmpty()) page->addWidget(makeCaption(footer));
    page->addSpacing(14);
    return rows;
}

QLabel* makeCaption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    label->setFont(small);
    label->setWordWrap(true);
    makeSecondary(label);
    return label;
}

void makeSecondary(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    palette.setColor(QPalette::Text, palette.color(QPalette::PlaceholderText));
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::PlaceholderText));
    widget->setPalette(palette);
}

} // namespace korvane
