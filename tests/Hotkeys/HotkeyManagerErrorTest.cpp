#include "Hotkeys/HotkeyManagerError.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

TEST(HotkeyManagerErrorTest, Messages)
{
    EXPECT_EQ(HotkeyManagerError::invalidBinding("Work").errorDescription(), "\"Work\" has an invalid hotkey.");
    EXPECT_EQ(HotkeyManagerError::duplicateBinding("Work").errorDescription(),
              "\"Work\" already uses that hotkey.");
    EXPECT_EQ(HotkeyManagerError::eventHandlerInstallFailed(-50).errorDescription(),
              "Global hotkey handling could not be installed. Carbon status: -50.");
    // Placeholders in a layout's name are text, not slots for the status.
    EXPECT_EQ(HotkeyManagerError::registrationFailed("50%2 %1", 10).errorDescription(),
              "\"50%2 %1\" hotkey could not be registered. Carbon status: 10.");
}

TEST(HotkeyManagerErrorTest, CollectedFailuresNameTheFirstAndCountTheRest)
{
    using E = HotkeyManagerError;
    EXPECT_EQ(E::registrationFailures({}).errorDescription(), "Some hotkeys could not be registered.");
    EXPECT_EQ(E::registrationFailures({E::duplicateBinding("B")}).errorDescription(),
              "\"B\" already uses that hotkey.");
    EXPECT_EQ(E::registrationFailures({E::invalidBinding("A %2"), E::duplicateBinding("B"),
                                       E::registrationFailed("C", -1)})
                  .errorDescription(),
              "\"A %2\" has an invalid hotkey. 2 more hotkey(s) could not be registered.");
    EXPECT_EQ(E::registrationFailures({E::invalidBinding("A")}), E::registrationFailures({E::invalidBinding("A")}));
    EXPECT_NE(E::invalidBinding("A"), E::duplicateBinding("A"));
}

} // namespace
} // namespace zen
