#pragma once

#include "Displays/DisplayRestoreSuggestionOption.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <vector>

namespace zen {

// Where display-change suggestions appear. Every call is made on the main thread, and the
// restore callbacks are called there too. Held weakly by the display-change controller, so
// implementations live in a std::shared_ptr.
class DisplayRestoreSuggestionPresenting {
public:
    virtual ~DisplayRestoreSuggestionPresenting() = default;

    // True while a suggestion (toast or chooser) is on screen, its fade-out included.
    virtual bool isDisplayRestoreSuggestionVisible() const = 0;
    // Offers the one fitting layout; `restore` runs when the user accepts.
    virtual void showDisplayRestoreSuggestion(const QString& snapshotName, std::function<void()> restore) = 0;
    // Offers several layouts, in the given order; `restore` gets the chosen one's id.
    virtual void showDisplayRestoreSuggestionChooser(const std::vector<DisplayRestoreSuggestionOption>& options,
                                                     std::function<void(const QUuid&)> restore) = 0;
    virtual void hideDisplayRestoreSuggestion() = 0;
};

} // namespace zen
