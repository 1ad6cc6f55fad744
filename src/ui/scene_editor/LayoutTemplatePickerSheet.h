// The sheet in which a layout is chosen for a display of the scene canvas: a plain list while the list is
// short; beyond the search threshold a search field and the sections "Built-in" and "Custom".
#pragma once

#include "layouts/ConfigZoneSet.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

namespace korvane {

// The templates whose name or id contains the query, case-insensitive, in their order; a query of only
// spaces and tabs keeps them all.
std::vector<ConfigZoneSet> filterLayoutTemplates(const std::vector<ConfigZoneSet>& templates,
                                                 const std::string& searchText);
// Ids beginning with "builtin." are built-in; every other layout is custom.
bool isBuiltInLayoutTemplate(const ConfigZoneSet& layout);

// Main thread only. Choosing a row calls onSelect once and closes; "Cancel" (or Escape) calls onDismiss
// once and closes. Never both.
class LayoutTemplatePickerSheet : public QDialog {
  public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 400;
    static constexpr int kDefaultSearchThreshold = 5;

    LayoutTemplatePickerSheet(std::vector<ConfigZoneSet> templates,
                              std::function<void(const ConfigZoneSet&)> onSelect,
                              std::function<void()> onDismiss, int searchThreshold = kDefaultSearchThreshold,
                              QWidget* parent = nullptr);

    // Nothing below the threshold.
    QLineEdit* searchField() const { return search_; }
    QListWidget* list() const { return list_; }
    // The no-results placeholder, shown instead of the list when a search matches nothing.
    QLabel* noResultsLabel() const { return noResults_; }
    // The list as shown: section titles as they stand, rows by template name.
    std::vector<std::string> visibleRows() const;
    // Chooses the row showing the template with this id; false when none shows.
    bool chooseTemplate(const std::string& id);

    void reject() override;

  private:
    void rebuild();

    std::vector<ConfigZoneSet> templates_;
    std::function<void(const ConfigZoneSet&)> onSelect_;
    std::function<void()> onDismiss_;
    int searchThreshold_;
    bool answered_ = false;
    QLineEdit* search_ = nullptr;
    QListWidget* list_;
    QLabel* noResults_;
};

} // namespace korvane
