// Building the permission window's content with Qt Widgets, styled as a dark heads-up panel.
#include "app/permission/PermissionView.h"

#include "app/PermissionManager.h"
#include "app/PrivacySettings.h"
#include "app/permission/PermissionRows.h"
#include "app/permission/PermissionSymbols.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {

namespace {

const QColor kGranted(48, 209, 88);
const QColor kSecondary(235, 235, 245, 153);

// Texts of the window's own are looked up for a translation; row titles and descriptions are not.
QString localized(const char* key) {
    return QCoreApplication::translate("PermissionView", key);
}

const char* objectNameOf(PrivacyPane pane) {
    return pane == PrivacyPane::accessibility ? "row.accessibility" : "row.screenRecording";
}

const QString kStyle = R"(
QWidget { color: white; }
QLabel#header { font-size: 24px; font-weight: bold; }
QFrame#card {
    background: rgba(0, 0, 0, 51); border: 1px solid rgba(255, 255, 255, 26); border-radius: 16px;
}
QFrame#divider { background: rgba(255, 255, 255, 51); border: none; }
QLabel#title { font-size: 13px; font-weight: bold; }
QLabel#description { font-size: 11px; color: rgba(235, 235, 245, 153); }
QLabel#badge {
    font-size: 12px; font-weight: 500; color: rgb(48, 209, 88);
    background: rgba(48, 209, 88, 51); border-radius: 6px; padding: 4px 8px;
}
QPushButton#openSettings {
    font-size: 11px; color: white; background: rgb(10, 132, 255);
    border: none; border-radius: 5px; padding: 3px 9px;
}
QPushButton#openSettings:hover { background: rgb(40, 150, 255); }
QPushButton#openSettings:pressed { background: rgb(0, 100, 220); }
QPushButton#checkAgain, QPushButton#quitRelaunch {
    font-size: 13px; color: white; background: rgba(255, 255, 255, 38);
    border: 1px solid rgba(255, 255, 255, 46); border-radius: 8px; padding: 8px 12px;
}
QPushButton#checkAgain:hover, QPushButton#quitRelaunch:hover { background: rgba(255, 255, 255, 56); }
QPushButton#checkAgain:pressed, QPushButton#quitRelaunch:pressed { background: rgba(255, 255, 255, 26); }
)";

QLabel* label(const QString& text, const char* name, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

} // namespace

PermissionView::PermissionView(PermissionManager& manager, platform::Workspace& workspace,
                               std::function<void()> terminate, QWidget* parent)
    : QWidget(parent), manager_(manager), workspace_(workspace), terminate_(std::move(terminate)) {
    setFixedSize(kWidth, kHeight);
    setStyleSheet(kStyle);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(40, 40, 40, 40);
    outer->setSpacing(0);
    auto* column = new QVBoxLayout();
    column->setSpacing(30);
    outer->addStretch(1);
    outer->addLayout(column);
    outer->addStretch(1);

    // Header: the icon, lifted by a soft shadow, over the heading.
    auto* header = new QVBoxLayout();
    header->setSpacing(10);
    auto* icon = label(QString(), "appIcon", this);
    icon->setFixedSize(80, 80);
    icon->setPixmap(permission::applicationIconPixmap(80, devicePixelRatioF()));
    icon->setScaledContents(true);
    auto* shadow = new QGraphicsDropShadowEffect(icon);
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 0);
    shadow->setColor(QColor(0, 0, 0, 84));
    icon->setGraphicsEffect(shadow);
    header->addWidget(icon, 0, Qt::AlignHCenter);
    header->addWidget(label(localized("Access Required"), "header", this), 0, Qt::AlignHCenter);
    column->addLayout(header);

    // The card with both rows.
    auto* card = new QFrame(this);
    card->setObjectName("card");
    auto* rows = new QVBoxLayout(card);
    rows->setContentsMargins(20, 20, 20, 20);
    rows->setSpacing(16);
    const auto grants = permissionRows(manager_);
    rows->addWidget(makeRow(grants[0]));
    auto* divider = new QFrame(card);
    divider->setObjectName("divider");
    divider->setFixedHeight(1);
    rows->addWidget(divider);
    rows->addWidget(makeRow(grants[1]));
    column->addWidget(card);

    // The buttons share the row equally.
    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(20, 0, 20, 0);
    buttons->setSpacing(20);
    auto* checkAgain = new QPushButton(permission::symbolIcon(permission::Symbol::checkAgain, 16, Qt::white),
                                       localized("Check Again"), this);
    checkAgain->setObjectName("checkAgain");
    // A lone '&' in a button's text marks its shortcut letter; this one is meant to show.
    auto* quit = new QPushButton(permission::symbolIcon(permission::Symbol::power, 16, Qt::white),
                                 localized("Quit & Relaunch").replace('&', "&&"), this);
    quit->setObjectName("quitRelaunch");
    for (QPushButton* b : {checkAgain, quit}) {
        b->setIconSize(QSize(16, 16));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setAutoDefault(false);
        buttons->addWidget(b, 1);
    }
    column->addLayout(buttons);

    // "Check Again" asks as start-up did, with nothing more to do once granted: the manager keeps
    // start-up's own completion ahead of it.
    connect(checkAgain, &QPushButton::clicked, this, [this] { manager_.requestPermissions({}); });
    connect(quit, &QPushButton::clicked, this, [this] {
        if (terminate_) terminate_();
    });
}

QWidget* PermissionView::makeRow(const PermissionRow& row) {
    auto* widget = new QWidget(this);
    widget->setObjectName(objectNameOf(row.pane));
    auto* line = new QHBoxLayout(widget);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(15);

    const auto symbol = row.pane == PrivacyPane::accessibility ? permission::Symbol::accessibility
                                                               : permission::Symbol::screenRecording;
    auto* picture = label(QString(), "symbol", widget);
    picture->setFixedWidth(30);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(
        permission::symbolPixmap(symbol, 24, row.granted ? kGranted : kSecondary, devicePixelRatioF()));
    line->addWidget(picture, 0, Qt::AlignVCenter);

    auto* text = new QVBoxLayout();
    text->setSpacing(4);
    auto* titleLine = new QHBoxLayout();
    titleLine->setSpacing(8);
    titleLine->addWidget(label(QString::fromStdString(row.title), "title", widget));
    titleLine->addStretch(1);
    if (row.granted) {
        titleLine->addWidget(label(localized(row.badge.c_str()), "badge", widget));
    } else {
        // On X11 there is no settings pane to open: the button shows what gives the grant.
        auto* open = new QPushButton(localized("What to Do"), widget);
        open->setObjectName("openSettings");
        open->setAutoDefault(false);
        connect(open, &QPushButton::clicked, this, [this, row] { openSettings(row); });
        titleLine->addWidget(open);
    }
    text->addLayout(titleLine);
    auto* description = label(QString::fromStdString(row.description), "description", widget);
    description->setWordWrap(true);
    text->addWidget(description);
    line->addLayout(text, 1);
    return widget;
}

void PermissionView::openSettings(const PermissionRow& row) {
    if (openPrivacyPane(workspace_, row.pane)) return;
    // No pane to open on this desktop: say what gives the grant here instead.
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromStdString(row.title),
                                QString::fromStdString(privacyPaneHelp(row.pane)), QMessageBox::Ok, window());
    box->setObjectName("privacyHelp");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace korvane
