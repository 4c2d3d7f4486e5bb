# Sources of src/MenuBar (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/MenuBar/OperationOverlayPresenting.h
  src/MenuBar/OperationOverlayPresenting.cpp
  src/MenuBar/SnapshotNamePrompt.h
  src/MenuBar/SnapshotNamePrompt.cpp
)
list(APPEND ZEN_SOURCES
  src/MenuBar/MenuText.h
  src/MenuBar/MenuText.cpp
  src/MenuBar/OperationScheduler.h
  src/MenuBar/OperationScheduler.cpp
  src/MenuBar/SnapshotMenuController.h
  src/MenuBar/SnapshotMenuController.cpp
)
# The floating feedback: progress overlay, completion toasts, notices and suggestions.
list(APPEND ZEN_SOURCES
  src/MenuBar/OperationOverlayController.h
  src/MenuBar/OperationOverlayController.cpp
  src/MenuBar/FloatingFeedbackPanel.h
  src/MenuBar/FloatingFeedbackPanel.cpp
  src/MenuBar/OperationOverlayWindow.h
  src/MenuBar/OperationCompletionToastWindow.h
  src/MenuBar/StatusNoticeWindow.h
  src/MenuBar/DisplayRestoreSuggestionToastWindow.h
  src/MenuBar/DisplayRestoreSuggestionChooserToastWindow.h
  src/MenuBar/OperationOverlayContentView.h
  src/MenuBar/OperationOverlayContentView.cpp
  src/MenuBar/OperationCompletionToastContentView.h
  src/MenuBar/OperationCompletionToastContentView.cpp
  src/MenuBar/StatusNoticeContentView.h
  src/MenuBar/StatusNoticeContentView.cpp
  src/MenuBar/DisplayRestoreSuggestionToastContentView.h
  src/MenuBar/DisplayRestoreSuggestionToastContentView.cpp
  src/MenuBar/DisplayRestoreSuggestionChooserToastContentView.h
  src/MenuBar/DisplayRestoreSuggestionChooserToastContentView.cpp
  src/MenuBar/OperationToastCloseButton.h
  src/MenuBar/OperationToastCloseButton.cpp
  src/MenuBar/ToastCardView.h
  src/MenuBar/ToastCardView.cpp
  src/MenuBar/ToastTextLabel.h
  src/MenuBar/ToastTextLabel.cpp
  src/MenuBar/OverlayGlyph.h
  src/MenuBar/OverlayGlyph.cpp
  src/MenuBar/OverlaySpinner.h
  src/MenuBar/OverlaySpinner.cpp
  src/MenuBar/OverlayButtonStyle.h
  src/MenuBar/OverlayButtonStyle.cpp
)
