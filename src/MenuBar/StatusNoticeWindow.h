#pragma once

#include "MenuBar/FloatingFeedbackPanel.h"

namespace zen {

// The panel of the short status notice.
class StatusNoticeWindow final : public FloatingFeedbackPanel {
    Q_OBJECT
public:
    using FloatingFeedbackPanel::FloatingFeedbackPanel;
};

} // namespace zen
