#pragma once

#include <QString>

namespace zen {

// Short, non-interactive notices for when the user is not looking at any of our windows.
// The router holds its presenter weakly, so implementations live in a std::shared_ptr.
class StatusNoticePresenting {
public:
    virtual ~StatusNoticePresenting() = default;

    // Shows the text and lets it disappear by itself after `duration` seconds; a newer notice
    // replaces one still on screen.
    virtual void showStatusNotice(const QString& message, double duration) = 0;
    // Removes a shown notice at once.
    virtual void hideStatusNotice() = 0;
};

} // namespace zen
