#include "Displays/DisplayChangeRestoreController.h"

#include "Displays/ScreenParametersNotifier.h"
#include "Support/SnapshotFixtures.h"
#include "Support/ManualScheduler.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zen {
namespace {

using namespace std::chrono_literals;
using test::makeDisplay;
using test::makeSnapshot;
using Controller = DisplayChangeRestoreController;

DisplayRecord monitor(std::uint32_t id, const QString& name, CGRect frame)
{
    DisplayRecord d = makeDisplay(id, frame, id == 1);
    d.localizedName = name;
    return d;
}

DisplayRecord withHardware(DisplayRecord d, std::uint32_t vendor, std::uint32_t product, std::uint32_t serial)
{
    d.vendorID = vendor;
    d.productID = product;
    d.serialNumber = serial;
    return d;
}

Snapshot layoutFor(const QString& name, std::vector<DisplayRecord> displays)
{
    Snapshot s = makeSnapshot(name);
    s.sourceDisplayState = DisplayState::make(std::move(displays), std::nullopt);
    return s;
}

class RecordingSuggestionPresenter final : public DisplayRestoreSuggestionPresenting {
public:
    bool isDisplayRestoreSuggestionVisible() const override { return visible; }
    void showDisplayRestoreSuggestion(const QString& name, std::function<void()> restore) override
    {
        calls.push_back("toast " + name.toStdString());
        visible = true;
        restoreOne = std::move(restore);
    }
    void showDisplayRestoreSuggestionChooser(const std::vector<DisplayRestoreSuggestionOption>& options,
                                             std::function<void(const QUuid&)> restore) override
    {
        std::string call = "chooser";
        for (const auto& option : options)
            call += " " + option.snapshotName.toStdString();
        calls.push_back(call);
        chooserOptions = options;
        visible = true;
        restoreChosen = std::move(restore);
    }
    void hideDisplayRestoreSuggestion() override
    {
        calls.push_back("hide");
        visible = false;
    }

    bool visible = false;
    std::vector<std::string> calls;
    std::function<void()> restoreOne;
    std::vector<DisplayRestoreSuggestionOption> chooserOptions;
    std::function<void(const QUuid&)> restoreChosen;
};

struct Harness {
    const DisplayRecord laptop = monitor(1, "Built-in", CGRect(0, 0, 1440, 900));
    const DisplayRecord studio = monitor(2, "Studio", CGRect(1440, 0, 2560, 1440));
    std::vector<DisplayRecord> displays{laptop};
    std::expected<std::vector<Snapshot>, SnapshotStoreError> snapshots = std::vector<Snapshot>{};
    bool enabled = true, authorized = true, operating = false;
    std::vector<std::string> gateCalls;
    std::vector<std::pair<QtMsgType, QString>> logs;
    std::vector<QUuid> restored;
    int snapshotLoads = 0;
    std::shared_ptr<test::ManualScheduler> scheduler = std::make_shared<test::ManualScheduler>();
    std::shared_ptr<RecordingSuggestionPresenter> presenter = std::make_shared<RecordingSuggestionPresenter>();
    ScreenParametersNotifier notifier;
    std::unique_ptr<Controller> controller;

    explicit Harness(double debounce = 2.0)
    {
        Controller::Options options;
        options.notifier = &notifier;
        options.displayStateProvider = [this] { return DisplayState::make(displays, std::nullopt); };
        options.debounceInterval = debounce;
        options.scheduler = scheduler;
        options.log = [this](QtMsgType type, const QString& message) { logs.emplace_back(type, message); };
        controller = std::make_unique<Controller>(
            [this] {
                ++snapshotLoads;
                return snapshots;
            },
            [this] { return gateCalls.push_back("enabled"), enabled; },
            [this] { return gateCalls.push_back("authorized"), authorized; },
            [this] { return gateCalls.push_back("operating"), operating; }, presenter,
            [this](const QUuid& id) { restored.push_back(id); }, std::move(options));
        controller->start();
    }

    // A change notification followed by the full quiet period.
    void change(std::vector<DisplayRecord> now)
    {
        displays = std::move(now);
        controller->displayParametersDidChange();
        scheduler->advance(2s);
    }
    std::vector<QString> messages() const
    {
        std::vector<QString> texts;
        for (const auto& entry : logs)
            texts.push_back(entry.second);
        return texts;
    }
    QString lastMessage() const { return logs.empty() ? QString() : logs.back().second; }
};

TEST(DisplayChangeRestoreControllerTest, ABurstOfNotificationsIsEvaluatedOnceTwoSecondsAfterTheLast)
{
    Harness h;
    h.displays = {h.laptop, h.studio};
    for (int i = 0; i < 3; ++i) {
        h.controller->displayParametersDidChange();
        h.scheduler->advance(500ms);
    }
    EXPECT_TRUE(h.logs.empty());
    h.scheduler->advance(1499ms);
    EXPECT_TRUE(h.logs.empty());
    h.scheduler->advance(1ms);
    EXPECT_EQ(h.messages(), std::vector<QString>{Controller::noMatchMessage});
    h.scheduler->advance(10s);
    EXPECT_EQ(h.logs.size(), 1u);
}

TEST(DisplayChangeRestoreControllerTest, QueuedNotificationsFromTheScreenSourceReachTheController)
{
    Harness h;
    h.displays = {h.laptop, h.studio};
    h.notifier.post();
    h.scheduler->advance(5s);
    EXPECT_TRUE(h.logs.empty()); // delivered through the event loop, not inside the emitter
    QCoreApplication::processEvents();
    h.scheduler->advance(2s);
    EXPECT_EQ(h.messages(), std::vector<QString>{Controller::noMatchMessage});
}

TEST(DisplayChangeRestoreControllerTest, DebounceIntervalsBecomeSafeTimerDelays)
{
    using ns = std::chrono::nanoseconds;
    const auto largest = ns(9223372036854774784LL);
    const struct {
        double seconds;
        ns expected;
    } cases[] = {
        {2.0, ns(2'000'000'000)},
        {0.5, ns(500'000'000)},
        {0.0, ns(0)},
        {-3.0, ns(0)},
        {std::nan(""), ns(0)},
        {std::numeric_limits<double>::infinity(), ns(0)},
        {-std::numeric_limits<double>::infinity(), ns(0)},
        {1e300, largest},
        {9.3e9, largest},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Controller::debounceDelay(c.seconds), c.expected) << c.seconds;

    Harness immediate(0.0);
    immediate.displays = {immediate.laptop, immediate.studio};
    immediate.controller->displayParametersDidChange();
    EXPECT_TRUE(immediate.logs.empty()); // one turn of the loop first
    immediate.scheduler->advance(0ns);
    EXPECT_EQ(immediate.logs.size(), 1u);
}

TEST(DisplayChangeRestoreControllerTest, GatesRunInOrderAfterTheTopologyIsRecorded)
{
    const struct {
        bool enabled, authorized, operating;
        std::vector<QString> messages; // none: the layout is offered
        std::vector<std::string> gates;
    } cases[] = {
        {false, false, true, {Controller::settingDisabledMessage}, {"enabled"}},
        {true, false, true, {Controller::accessUnavailableMessage}, {"enabled", "authorized"}},
        {true, true, true, {Controller::operationActiveMessage}, {"enabled", "authorized", "operating"}},
        {true, true, false, {}, {"enabled", "authorized", "operating"}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.snapshots = std::vector<Snapshot>{layoutFor("Desk", {h.laptop, h.studio})};
        h.enabled = c.enabled;
        h.authorized = c.authorized;
        h.operating = c.operating;
        h.change({h.laptop, h.studio});
        EXPECT_EQ(h.messages(), c.messages);
        EXPECT_EQ(h.gateCalls, c.gates);
        EXPECT_EQ(h.snapshotLoads, c.messages.empty() ? 1 : 0);
        const std::vector<std::string> offered =
            c.messages.empty() ? std::vector<std::string>{"toast Desk"} : std::vector<std::string>{};
        EXPECT_EQ(h.presenter->calls, offered);

        // The change counts as seen, refused or not: opening the gates later offers nothing.
        h.enabled = h.authorized = true;
        h.operating = false;
        h.change({h.studio, h.laptop});
        EXPECT_EQ(h.lastMessage(), Controller::unchangedTopologyMessage);
        EXPECT_EQ(h.presenter->calls, offered);
    }
}

TEST(DisplayChangeRestoreControllerTest, ARearrangementRightAfterStartIsNotAChangeOfTopology)
{
    Harness h;
    DisplayRecord moved = h.laptop;
    moved.frame = CGRectCodable(0, 0, 1920, 1200);
    moved.visibleFrame = CGRectCodable(0, 25, 1920, 1175);
    h.snapshots = std::vector<Snapshot>{layoutFor("Solo", {moved})};
    h.change({moved});
    EXPECT_EQ(h.messages(), std::vector<QString>{Controller::unchangedTopologyMessage});
    EXPECT_TRUE(h.gateCalls.empty());
    EXPECT_TRUE(h.presenter->calls.empty());
}

TEST(DisplayChangeRestoreControllerTest, TopologyKnowsMonitorsByHardwareElseTrimmedNameElseAsAnonymous)
{
    using Sig = DisplayTopologySignature;
    const auto sig = [](std::vector<DisplayRecord> displays) {
        return Sig::of(DisplayState::make(std::move(displays), std::nullopt));
    };
    const DisplayRecord a = monitor(1, "Dell U2720Q", CGRect(0, 0, 3840, 2160));
    DisplayRecord aElsewhere = monitor(7, " Dell U2720Q\n", CGRect(-1920, 300, 1920, 1080));
    aElsewhere.isPrimary = true;
    const DisplayRecord hw = withHardware(monitor(2, "Left", CGRect(0, 0, 100, 100)), 0x10AC, 0xA0C4, 42);
    const DisplayRecord hwRenamed = withHardware(monitor(9, "Other", CGRect(50, 50, 10, 10)), 0x10AC, 0xA0C4, 42);
    const DisplayRecord hwOtherSerial = withHardware(hw, 0x10AC, 0xA0C4, 43);
    DisplayRecord partialHardware = withHardware(a, 0x10AC, 0xA0C4, 0);
    partialHardware.serialNumber.reset();
    DisplayRecord nameless = monitor(3, "   ", CGRect(0, 0, 800, 600));
    DisplayRecord unnamed = monitor(4, "", CGRect(800, 0, 1024, 768));
    unnamed.localizedName.reset();

    EXPECT_EQ(sig({a}), sig({aElsewhere}));                   // position, size, id, primary flag
    EXPECT_EQ(sig({hw}), sig({hwRenamed}));                   // hardware wins over the name
    EXPECT_NE(sig({hw}), sig({hwOtherSerial}));               // a second monitor of the same model
    EXPECT_EQ(sig({partialHardware}), sig({a}));              // incomplete hardware: known by name
    EXPECT_EQ(sig({nameless}), sig({unnamed}));               // both anonymous
    EXPECT_NE(sig({nameless, unnamed}), sig({nameless}));     // a multiset: two anonymous are two
    EXPECT_EQ(sig({a, hw, nameless}), sig({nameless, a, hw})); // order of discovery is irrelevant

    const auto items = sig({nameless, a, hw}).displays;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<Sig::Hardware>(items[0]));
    EXPECT_EQ(std::get<QString>(items[1]), "Dell U2720Q");
    EXPECT_TRUE(std::holds_alternative<Sig::Anonymous>(items[2]));
}

TEST(DisplayChangeRestoreControllerTest, ConfigurationSignatureSeesEveryFieldOfEveryMonitor)
{
    const DisplayRecord base = withHardware(monitor(1, "Main", CGRect(0, 0, 1440, 900)), 1, 2, 3);
    const auto sig = [](std::vector<DisplayRecord> displays) {
        return DisplayConfigurationSignature::of(DisplayState::make(std::move(displays), std::nullopt));
    };
    const DisplayRecord other = monitor(2, "Side", CGRect(1440, 0, 800, 600));
    EXPECT_EQ(sig({base, other}), sig({other, base}));

    std::vector<std::function<void(DisplayRecord&)>> edits = {
        [](DisplayRecord& d) { d.id = 5; },
        [](DisplayRecord& d) { d.localizedName = QStringLiteral("Main "); },
        [](DisplayRecord& d) { d.localizedName.reset(); },
        [](DisplayRecord& d) { d.frame.x = 1; },
        [](DisplayRecord& d) { d.visibleFrame.height = 801; },
        [](DisplayRecord& d) { d.backingScaleFactor = 2; },
        [](DisplayRecord& d) { d.isPrimary = !d.isPrimary; },
        [](DisplayRecord& d) { d.vendorID.reset(); },
        [](DisplayRecord& d) { d.productID = 9; },
        [](DisplayRecord& d) { d.serialNumber = 4; },
    };
    for (size_t i = 0; i < edits.size(); ++i) {
        DisplayRecord changed = base;
        edits[i](changed);
        EXPECT_NE(sig({base}), sig({changed})) << "edit " << i;
    }
    EXPECT_NE(sig({base}), sig({base, other}));
}

// A layout's own records already treat composed and decomposed names as one monitor; the
// signatures must agree, or a mere change of spelling reads as a new set of monitors.
TEST(DisplayChangeRestoreControllerTest, SignaturesCompareMonitorNamesByCanonicalEquivalence)
{
    const QString composed = QStringLiteral("\u00C9cran Bureau");
    const QString decomposed = QStringLiteral("E\u0301cran Bureau");
    const DisplayRecord a = monitor(1, composed, CGRect(0, 0, 1920, 1080));
    const DisplayRecord b = monitor(1, decomposed, CGRect(0, 0, 1920, 1080));
    ASSERT_EQ(a, b);
    const auto state = [](const DisplayRecord& d) { return DisplayState::make({d}, std::nullopt); };
    EXPECT_EQ(DisplayTopologySignature::of(state(a)), DisplayTopologySignature::of(state(b)));
    EXPECT_EQ(DisplayConfigurationSignature::of(state(a)), DisplayConfigurationSignature::of(state(b)));
    EXPECT_NE(DisplayTopologySignature::of(state(a)),
              DisplayTopologySignature::of(state(monitor(1, "Ecran Bureau", CGRect(0, 0, 1920, 1080)))));

    // Seen live: the same monitor reported in the other spelling is no change at all.
    Harness h;
    h.snapshots = std::vector<Snapshot>{layoutFor("Desk", {a})};
    h.change({a});
    h.logs.clear();
    h.change({b});
    EXPECT_EQ(h.messages(), std::vector<QString>{Controller::unchangedTopologyMessage});
}

TEST(DisplayChangeRestoreControllerTest, OneMatchOffersAToastAndSeveralAChooserInMatchOrder)
{
    Harness h;
    const Snapshot newer = layoutFor("Desk & Studio", {h.laptop, h.studio});
    const Snapshot unrelated = layoutFor("Travel", {h.laptop});
    const Snapshot older = layoutFor("Evening", {h.studio, h.laptop});
    h.snapshots = std::vector<Snapshot>{newer, unrelated};
    h.change({h.laptop, h.studio});
    EXPECT_EQ(h.presenter->calls, std::vector<std::string>{"toast Desk & Studio"});
    EXPECT_TRUE(h.logs.empty());

    // Accepting restores that layout and forgets the suggestion's configuration, so the next
    // notification does not hide what the restore may bring up.
    h.presenter->restoreOne();
    EXPECT_EQ(h.restored, std::vector<QUuid>{newer.id});

    h.presenter->visible = false;
    h.snapshots = std::vector<Snapshot>{newer, unrelated, older};
    h.change({h.laptop});
    h.change({h.laptop, h.studio});
    EXPECT_EQ(h.presenter->calls.back(), "chooser Desk & Studio Evening");
    EXPECT_EQ(h.lastMessage(), Controller::multipleMatchesMessage);
    ASSERT_EQ(h.presenter->chooserOptions.size(), 2u);
    EXPECT_EQ(h.presenter->chooserOptions[1], (DisplayRestoreSuggestionOption{older.id, "Evening"}));

    // The choice still reaches the restore action after the controller has gone.
    auto choose = h.presenter->restoreChosen;
    h.controller.reset();
    choose(older.id);
    EXPECT_EQ(h.restored, (std::vector<QUuid>{newer.id, older.id}));
}

TEST(DisplayChangeRestoreControllerTest, ALoadFailureIsLoggedOnceAtErrorLevelAndOffersNothing)
{
    Harness h;
    const QUuid missing = QUuid::createUuid();
    h.snapshots = std::unexpected(SnapshotStoreError::notFound(missing));
    h.change({h.laptop, h.studio});
    ASSERT_EQ(h.logs.size(), 1u);
    EXPECT_EQ(h.logs[0].first, QtCriticalMsg);
    EXPECT_EQ(h.logs[0].second,
              Controller::loadFailedFormat.arg(SnapshotStoreError::notFound(missing).localizedDescription()));
    EXPECT_TRUE(h.presenter->calls.empty());

    // The topology stays recorded: the same monitors are not evaluated again.
    h.snapshots = std::vector<Snapshot>{layoutFor("Desk", {h.laptop, h.studio})};
    h.change({h.studio, h.laptop});
    EXPECT_EQ(h.lastMessage(), Controller::unchangedTopologyMessage);
    EXPECT_EQ(h.snapshotLoads, 1);
}

TEST(DisplayChangeRestoreControllerTest, AVisibleSuggestionFollowsTheConfigurationItWasMadeFor)
{
    Harness h;
    const Snapshot desk = layoutFor("Desk", {h.laptop, h.studio});
    h.snapshots = std::vector<Snapshot>{desk};
    h.change({h.laptop, h.studio});
    ASSERT_EQ(h.presenter->calls, std::vector<std::string>{"toast Desk"});

    // The same configuration again: the toast stays.
    h.change({h.studio, h.laptop});
    EXPECT_EQ(h.presenter->calls.size(), 1u);
    EXPECT_TRUE(h.presenter->visible);

    // The monitor goes away: hidden at once, before the quiet period ends.
    h.displays = {h.laptop};
    h.controller->displayParametersDidChange();
    EXPECT_EQ(h.presenter->calls.back(), "hide");
    h.scheduler->advance(2s);
    EXPECT_EQ(h.lastMessage(), Controller::noMatchMessage);
}

TEST(DisplayChangeRestoreControllerTest, ASuggestionHiddenByAReconfigurationOfTheSameMonitorsIsOfferedAgain)
{
    Harness h;
    const Snapshot desk = layoutFor("Desk", {h.laptop, h.studio});
    h.snapshots = std::vector<Snapshot>{desk};
    h.change({h.laptop, h.studio});
    ASSERT_EQ(h.presenter->calls, std::vector<std::string>{"toast Desk"});

    // A panel reserves its space on the new monitor: only a visible frame changes.
    DisplayRecord reserved = h.studio;
    reserved.visibleFrame = CGRectCodable(1440, 30, 2560, 1410);
    h.displays = {h.laptop, reserved};
    h.controller->displayParametersDidChange();
    EXPECT_EQ(h.presenter->calls.back(), "hide");
    h.scheduler->advance(2s);
    EXPECT_EQ(h.presenter->calls, (std::vector<std::string>{"toast Desk", "hide", "toast Desk"}));

    // Once offered again, later notifications for the same monitors behave as before.
    h.presenter->visible = false;
    h.change({h.laptop, reserved});
    EXPECT_EQ(h.lastMessage(), Controller::unchangedTopologyMessage);
    EXPECT_EQ(h.presenter->calls.size(), 3u);
}

TEST(DisplayChangeRestoreControllerTest, AReleasedPresenterEndsTheEvaluationSilently)
{
    Harness h;
    h.snapshots = std::vector<Snapshot>{layoutFor("Desk", {h.laptop, h.studio}),
                                        layoutFor("Desk 2", {h.laptop, h.studio})};
    auto held = h.presenter;
    h.presenter.reset();
    held.reset();
    h.change({h.laptop, h.studio});
    EXPECT_EQ(h.messages(), std::vector<QString>{Controller::multipleMatchesMessage});
}

} // namespace
} // namespace zen
