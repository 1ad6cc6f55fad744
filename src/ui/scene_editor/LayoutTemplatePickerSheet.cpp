// The layout template picker.
#include "ui/scene_editor/LayoutTemplatePickerSheet.h"

#include "platform/TextCase.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {

namespace {

constexpr int kTemplateIndexRole = Qt::UserRole + 1;

} // namespace

bool isBuiltInLayoutTemplate(const ConfigZoneSet& layout) {
    return layout.id.rfind("builtin.", 0) == 0;
}

std::vector<ConfigZoneSet> filterLayoutTemplates(const std::vector<ConfigZoneSet>& templates,
                                                 const std::string& searchText) {
    const auto first = searchText.find_first_not_of(" \t");
    if (first == std::string::npos) return templates;
    const auto last = searchText.find_last_not_of(" \t");
    const std::string query = asciiLowercased(searchText.substr(first, last - first + 1));
    std::vector<ConfigZoneSet> out;
    for (const auto& layout : templates)
        if (asciiLowercased(layout.name).find(query) != std::string::npos ||
            asciiLowercased(layout.id).find(query) != std::string::npos)
            out.push_back(layout);
    return out;
}

LayoutTemplatePickerSheet::LayoutTemplatePickerSheet(std::vector<ConfigZoneSet> templates,
                                                     std::function<void(const ConfigZoneSet&)> onSelect,
                                                     std::function<void()> onDismiss, int searchThreshold,
                                                     QWidget* parent)
    : QDialog(parent), templates_(std::move(templates)), onSelect_(std::move(onSelect)),
      onDismiss_(std::move(onDismiss)), searchThreshold_(searchThreshold), list_(new QListWidget(this)),
      noResults_(new QLabel(this)) {
    setWindowTitle("Choose a layout");
    setFixedSize(kWidth, kHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 12, 12, 12);
    auto* title = new QLabel("Choose a layout", this);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    header->addWidget(title);
    header->addStretch();
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setAutoDefault(false);
    QObject::connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    header->addWidget(cancel);
    column->addLayout(header);

    if (static_cast<int>(templates_.size()) > searchThreshold_) {
        search_ = new QLineEdit(this);
        search_->setPlaceholderText(QString::fromUtf8("Search layouts…"));
        auto* padded = new QHBoxLayout;
        padded->setContentsMargins(12, 0, 12, 8);
        padded->addWidget(search_);
        column->addLayout(padded);
        QObject::connect(search_, &QLineEdit::textChanged, this, [this] { rebuild(); });
    }
    column->addWidget(list_, 1);
    noResults_->setAlignment(Qt::AlignCenter);
    noResults_->setWordWrap(true);
    column->addWidget(noResults_, 1);
    QObject::connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QVariant index = item->data(kTemplateIndexRole);
        if (!index.isValid() || answered_) return;
        answered_ = true;
        // Copied: the owner may close and drop the sheet when told.
        const ConfigZoneSet chosen = templates_.at(static_cast<std::size_t>(index.toInt()));
        if (auto select = onSelect_) select(chosen);
        accept();
    });
    QObject::connect(list_, &QListWidget::itemClicked, list_, &QListWidget::itemActivated);
    rebuild();
}

void LayoutTemplatePickerSheet::rebuild() {
    list_->clear();
    const std::string query = search_ ? search_->text().toStdString() : std::string();
    const auto addRow = [this](const ConfigZoneSet& layout) {
        auto* item = new QListWidgetItem(QString::fromStdString(layout.name), list_);
        for (std::size_t i = 0; i < templates_.size(); ++i)
            if (templates_[i].id == layout.id) item->setData(kTemplateIndexRole, static_cast<int>(i));
    };
    const auto addSection = [this](const char* title) {
        auto* item = new QListWidgetItem(title, list_);
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
        item->setFlags(Qt::NoItemFlags);
    };
    const std::vector<ConfigZoneSet> filtered = filterLayoutTemplates(templates_, query);
    bool noResults = false;
    if (static_cast<int>(templates_.size()) > searchThreshold_) {
        std::vector<ConfigZoneSet> builtIn, custom;
        for (const auto& layout : filtered)
            (isBuiltInLayoutTemplate(layout) ? builtIn : custom).push_back(layout);
        if (!builtIn.empty()) addSection("Built-in");
        for (const auto& layout : builtIn)
            addRow(layout);
        if (!custom.empty()) addSection("Custom");
        for (const auto& layout : custom)
            addRow(layout);
        noResults = builtIn.empty() && custom.empty();
    } else {
        for (const auto& layout : filtered)
            addRow(layout);
    }
    noResults_->setText(QString::fromUtf8("No Results for “%1”").arg(QString::fromStdString(query)));
    list_->setVisible(!noResults);
    noResults_->setVisible(noResults);
}

std::vector<std::string> LayoutTemplatePickerSheet::visibleRows() const {
    std::vector<std::string> rows;
    if (!list_->isVisibleTo(this)) return rows;
    for (int i = 0; i < list_->count(); ++i)
        rows.push_back(list_->item(i)->text().toStdString());
    return rows;
}

bool LayoutTemplatePickerSheet::chooseTemplate(const std::string& id) {
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const QVariant index = item->data(kTemplateIndexRole);
        if (index.isValid() && templates_.at(static_cast<std::size_t>(index.toInt())).id == id) {
            Q_EMIT list_->itemActivated(item);
            return true;
        }
    }
    return false;
}

void LayoutTemplatePickerSheet::reject() {
    if (!answered_) {
        answered_ = true;
        if (auto dismiss = onDismiss_) dismiss();
    }
    QDialog::reject();
}

} // namespace korvane
