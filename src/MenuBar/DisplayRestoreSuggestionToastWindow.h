#pragma once

#include "MenuBar/FloatingFeedbackPanel.h"

namespace zen {

// The panel of the offer of the one layout made for the monitors now attached.
class DisplayRestoreSuggestionToastWindow final : public FloatingFeedbackPanel {
    Q_OBJECT
public:
    using FloatingFeedbackPanel::FloatingFeedbackPanel;
};

} // namespace zen
