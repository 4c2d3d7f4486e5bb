#pragma once

#include "MenuBar/FloatingFeedbackPanel.h"

namespace zen {

// The panel of the progress overlay of one monitor.
class OperationOverlayWindow final : public FloatingFeedbackPanel {
    Q_OBJECT
public:
    using FloatingFeedbackPanel::FloatingFeedbackPanel;
};

} // namespace zen
