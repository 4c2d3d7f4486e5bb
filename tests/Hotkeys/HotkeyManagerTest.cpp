#include "Hotkeys/HotkeyManager.h"

#include "Support/Recorders.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

HotkeyBinding binding(std::uint32_t keyCode, std::uint32_t modifiers = 0x1800)
{
    return {keyCode, modifiers, "shown"};
}

class HotkeyManagerTest : public ::testing::Test {
protected:
    HotkeyManagerTest()
        : registrar(std::make_shared<test::FakeHotkeyRegistrar>())
        , manager(
              [this](QUuid id) { restored.push_back(id); }, registrar,
              [this](HotkeyPressHandler handler) -> std::expected<EventHandlerReference, HotkeyManagerError> {
                  ++installs;
                  if (failInstall)
                      return std::unexpected(HotkeyManagerError::eventHandlerInstallFailed(-9));
                  press = std::move(handler);
                  return 7;
              },
              [this](EventHandlerReference reference) { removed.push_back(reference); })
    {
    }

    void pressID(std::uint32_t id, std::uint32_t signature = HotkeyManager::hotkeySignature)
    {
        ASSERT_TRUE(press);
        press({signature, id});
    }

    std::shared_ptr<test::FakeHotkeyRegistrar> registrar;
    std::vector<QUuid> restored;
    HotkeyPressHandler press;
    std::vector<EventHandlerReference> removed;
    int installs = 0;
    bool failInstall = false;
    HotkeyManager manager;
    QUuid work = QUuid::createUuid(), home = QUuid::createUuid(), gym = QUuid::createUuid();
};

TEST_F(HotkeyManagerTest, RegistersEachBoundLayoutAndRestoresOnPress)
{
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", binding(40)}, {home, "Home", std::nullopt},
                                        {gym, "Gym", binding(38)}}));
    EXPECT_EQ(registrar->liveIDs(), (std::vector<std::uint32_t>{1, 2}));
    pressID(2);
    pressID(1);
    EXPECT_EQ(restored, (std::vector<QUuid>{gym, work}));

    // Foreign signatures and unknown ids are not ours.
    pressID(1, 0x41424344);
    pressID(3);
    EXPECT_EQ(restored.size(), 2u);
}

TEST_F(HotkeyManagerTest, FirstLayoutKeepsADuplicateShortcutAndInvalidOnesUseNoID)
{
    HotkeyBinding sameKeyOtherSpelling = binding(40);
    sameKeyOtherSpelling.displayString = "another spelling";
    auto result = manager.reloadBindings({{work, "Work", binding(40)},
                                          {home, "Home", sameKeyOtherSpelling},
                                          {gym, "Gym", binding(0, 0x200)},
                                          {QUuid::createUuid(), "Last", binding(1)}});
    ASSERT_FALSE(result);
    // The message names the layout that keeps the shortcut.
    EXPECT_EQ(result.error().errorDescription(),
              "\"Work\" already uses that hotkey. 1 more hotkey(s) could not be registered.");
    EXPECT_EQ(result.error().failures(),
              (std::vector{HotkeyManagerError::duplicateBinding("Work"), HotkeyManagerError::invalidBinding("Gym")}));
    EXPECT_EQ(manager.refusedLayoutIDs(), (QSet<QUuid>{home, gym}));
    EXPECT_EQ(registrar->liveIDs(), (std::vector<std::uint32_t>{1, 2}));
    pressID(1);
    EXPECT_EQ(restored, std::vector<QUuid>{work});
}

TEST_F(HotkeyManagerTest, RefusedRegistrationKeepsTheKeyTakenAndDoesNotUseAnID)
{
    registrar->refusedKeyCodes = {38};
    auto result = manager.reloadBindings({{work, "Work", binding(40)},
                                          {home, "Home", binding(38)},
                                          {QUuid::createUuid(), "Home again", binding(38)},
                                          {gym, "Gym", binding(1)}});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().failures(), (std::vector{HotkeyManagerError::registrationFailed("Home", 10),
                                                      HotkeyManagerError::duplicateBinding("Home")}));
    EXPECT_EQ(manager.refusedLayoutIDs().size(), 2u);
    EXPECT_TRUE(manager.refusedLayoutIDs().contains(home));
    pressID(2);
    EXPECT_EQ(restored, std::vector<QUuid>{gym});
}

TEST_F(HotkeyManagerTest, SuspendedManagerRegistersNothingAndIgnoresPresses)
{
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", binding(40)}}));
    manager.suspendBindings();
    EXPECT_TRUE(registrar->live.empty());
    pressID(1);
    manager.handleRegisteredHotkey(1);
    EXPECT_TRUE(restored.empty());

    ASSERT_TRUE(manager.reloadBindings({{home, "Home", binding(38)}, {gym, "Gym", binding(1)}}));
    EXPECT_TRUE(registrar->live.empty());

    ASSERT_TRUE(manager.resumeBindings());
    EXPECT_EQ(registrar->live.size(), 2u);
    pressID(1);
    EXPECT_EQ(restored, std::vector<QUuid>{home});
}

TEST_F(HotkeyManagerTest, OverlappingCapturesKeepTheShortcutsSuspendedUntilTheLastEnds)
{
    // The tray's prompt and the dashboard's field each suspend and resume; the first to end
    // must not hand the keys back to the server while the other still listens for them.
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", binding(40)}}));
    manager.suspendBindings();
    manager.suspendBindings();
    ASSERT_TRUE(manager.resumeBindings());
    EXPECT_TRUE(registrar->live.empty());
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", binding(40)}}));
    EXPECT_TRUE(registrar->live.empty());
    pressID(1);
    EXPECT_TRUE(restored.empty());

    ASSERT_TRUE(manager.resumeBindings());
    EXPECT_EQ(registrar->liveIDs(), std::vector<std::uint32_t>{1});
    // A resume with nothing suspended leaves the shortcuts as they are, registered once.
    ASSERT_TRUE(manager.resumeBindings());
    EXPECT_EQ(registrar->liveIDs(), std::vector<std::uint32_t>{1});
    // ... and owes nothing: the next capture keeps every shortcut ungrabbed through a reload.
    manager.suspendBindings();
    EXPECT_TRUE(registrar->live.empty());
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", binding(40)}, {home, "Home", binding(38)}}));
    EXPECT_TRUE(registrar->live.empty());
    pressID(1);
    EXPECT_TRUE(restored.empty());
    ASSERT_TRUE(manager.resumeBindings());
    EXPECT_EQ(registrar->live.size(), 2u);
}

TEST_F(HotkeyManagerTest, ReloadReplacesEverythingAndEmptyListsRegisterNothing)
{
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", binding(40)}, {home, "Home", binding(38)}}));
    ASSERT_TRUE(manager.reloadBindings(std::vector<HotkeyLayout>{}));
    EXPECT_TRUE(registrar->live.empty());
    ASSERT_TRUE(manager.reloadBindings({{home, "Home", std::nullopt}}));
    EXPECT_TRUE(registrar->live.empty());
    pressID(1);
    EXPECT_TRUE(restored.empty());
}

TEST_F(HotkeyManagerTest, HandlerIsInstalledOnceAndRetriedAfterAFailure)
{
    failInstall = true;
    auto failed = manager.reloadBindings({{work, "Work", binding(40)}});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().errorDescription(),
              "Global hotkey handling could not be installed. X11 status: -9.");
    EXPECT_TRUE(registrar->live.empty());
    EXPECT_EQ(manager.refusedLayoutIDs(), QSet<QUuid>{work}) << "no press can reach a layout without the handler";

    failInstall = false;
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", binding(40)}}));
    EXPECT_TRUE(manager.refusedLayoutIDs().isEmpty());
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", binding(40)}}));
    EXPECT_EQ(installs, 2);
    EXPECT_EQ(registrar->live.size(), 1u);
}

TEST(HotkeyManagerTeardownTest, UnregistersAndRemovesTheHandler)
{
    auto registrar = std::make_shared<test::FakeHotkeyRegistrar>();
    std::vector<EventHandlerReference> removed;
    {
        HotkeyManager manager(
            [](QUuid) {}, registrar,
            [](HotkeyPressHandler) -> std::expected<EventHandlerReference, HotkeyManagerError> { return 7; },
            [&](EventHandlerReference reference) { removed.push_back(reference); });
        ASSERT_TRUE(manager.reloadBindings({{QUuid::createUuid(), "Work", binding(40)}}));
        EXPECT_EQ(registrar->live.size(), 1u);
    }
    EXPECT_TRUE(registrar->live.empty());
    EXPECT_EQ(removed, std::vector<EventHandlerReference>{7});
}

// A failed install followed by a capture (suspend, resume) must not leave keys grabbed that
// no handler answers, nor report that the hotkeys work.
TEST_F(HotkeyManagerTest, ResumeAfterAFailedInstallRegistersNothingUntilTheHandlerIsInstalled)
{
    failInstall = true;
    ASSERT_FALSE(manager.reloadBindings({{work, "Work", binding(40)}}));
    manager.suspendBindings();
    auto resumed = manager.resumeBindings();
    ASSERT_FALSE(resumed);
    EXPECT_EQ(resumed.error().kind(), HotkeyManagerError::Kind::eventHandlerInstallFailed);
    EXPECT_TRUE(registrar->live.empty());

    failInstall = false;
    manager.suspendBindings();
    ASSERT_TRUE(manager.resumeBindings());
    EXPECT_EQ(installs, 3);
    pressID(1);
    EXPECT_EQ(restored, std::vector<QUuid>{work});
}

TEST(HotkeyManagerErrorTest, TextsNameTheLayoutAndABatchCountsTheRest)
{
    EXPECT_EQ(HotkeyManagerError::invalidBinding("Work").errorDescription(), "\"Work\" has an invalid hotkey.");
    EXPECT_EQ(HotkeyManagerError::duplicateBinding("Work").errorDescription(),
              "\"Work\" already uses that hotkey.");
    EXPECT_EQ(HotkeyManagerError::eventHandlerInstallFailed(-50).errorDescription(),
              "Global hotkey handling could not be installed. X11 status: -50.");
    // Placeholders in a layout's name are text, not slots for the status.
    EXPECT_EQ(HotkeyManagerError::registrationFailed("50%2 %1", 10).errorDescription(),
              "\"50%2 %1\" hotkey could not be registered. X11 status: 10.");

    // A batch names its first failure and counts the rest.
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
