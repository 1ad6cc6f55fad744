// The observers of one model of the scene editor: whoever draws it is told, on the main thread and at once,
// after each change that really changed a value, until the token it got ends.
#pragma once

#include "platform/NotificationCenter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace korvane {

template <class... Change> class ModelObservers {
  public:
    using Observer = std::function<void(Change...)>;

    [[nodiscard]] std::unique_ptr<platform::ObserverToken> subscribe(Observer observer) {
        const std::uint64_t key = entries_->nextID++;
        entries_->observers.emplace(key, std::move(observer));
        return std::make_unique<Token>(entries_, key);
    }

    void notify(Change... change) const {
        // A copy, so that an observer may subscribe or cancel while being told; one cancelled by an earlier
        // observer of the same change is not told.
        std::shared_ptr<Entries> entries = entries_;
        std::vector<std::pair<std::uint64_t, Observer>> current(entries->observers.begin(),
                                                                entries->observers.end());
        for (auto& entry : current)
            if (entries->observers.count(entry.first)) entry.second(change...);
    }

  private:
    // Shared with the tokens, so a token that outlives the model cancels nothing.
    struct Entries {
        std::map<std::uint64_t, Observer> observers;
        std::uint64_t nextID = 1;
    };

    class Token final : public platform::ObserverToken {
      public:
        Token(const std::shared_ptr<Entries>& entries, std::uint64_t key) : entries_(entries), key_(key) {}
        ~Token() override { cancel(); }
        void cancel() override {
            if (auto entries = entries_.lock()) entries->observers.erase(key_);
            entries_.reset();
        }

      private:
        std::weak_ptr<Entries> entries_;
        std::uint64_t key_;
    };

    std::shared_ptr<Entries> entries_ = std::make_shared<Entries>();
};

} // namespace korvane
