#pragma once

#include "MenuBar/FloatingFeedbackPanel.h"

namespace zen {

// The panel of the offer of several layouts made for the monitors now attached.
class DisplayRestoreSuggestionChooserToastWindow final : public FloatingFeedbackPanel {
    Q_OBJECT
public:
    using FloatingFeedbackPanel::FloatingFeedbackPanel;
};

} // namespace zen
