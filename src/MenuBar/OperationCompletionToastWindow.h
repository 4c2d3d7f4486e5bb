#pragma once

#include "MenuBar/FloatingFeedbackPanel.h"

namespace zen {

// The panel of the restore-completion toast of one monitor.
class OperationCompletionToastWindow final : public FloatingFeedbackPanel {
    Q_OBJECT
public:
    using FloatingFeedbackPanel::FloatingFeedbackPanel;
};

} // namespace zen
