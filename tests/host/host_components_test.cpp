#include "host/Components.h"
#include "standin/model/StandinHost.h"

#include <gtest/gtest.h>

#include <map>

using namespace host;

namespace {

/// A connector that counts requests and hands out what the test gives it.
class TCountingConnector : public IHostConnector {
public:
    std::map<std::string, std::shared_ptr<IHostObject>, std::less<>> Objects;
    int Requests = 0;

    std::shared_ptr<IHostObject> GetObject(Guid classId, TConnectKind) override {
        ++Requests;
        const auto found = Objects.find(classId);
        if (found == Objects.end())
            throw EHostError("Class not registered");
        return found->second;
    }
};

class TNotAStation : public IHostObject {};

standin::TScenario SmallScenario() {
    standin::TScenario scenario;
    scenario.ownCallsign = "n0call";
    scenario.ownLat = 2580.0f;
    scenario.ownLong = -4200.0f;
    return scenario;
}

} // namespace

TEST(HostComponents, OnlyClsUIVConnectsAtLoad) {
    auto host = std::make_shared<standin::TStandinHost>(SmallScenario());
    auto connector = std::make_shared<standin::TEmbeddedConnector>(host);
    THostComponents components(connector);
    EXPECT_FALSE(components.clsUIV.Connected());
    components.Loaded();
    EXPECT_TRUE(components.clsUIV.Connected());
    EXPECT_FALSE(components.clsMyInfo.Connected());
    EXPECT_FALSE(components.clsStationInfo.Connected());
    EXPECT_FALSE(components.clsMapInfo.Connected());
    EXPECT_EQ(components.clsUIV.ClassId(), CLASS_clsUIV);
    EXPECT_EQ(components.clsStationInfo.InterfaceId(), IID__clsStationInfo);
}

TEST(HostComponents, ConnectOnFirstUseAndKeepTheInterface) {
    auto connector = std::make_shared<TCountingConnector>();
    auto host = std::make_shared<standin::TStandinHost>(SmallScenario());
    standin::TEmbeddedConnector embedded(host);
    connector->Objects.emplace(std::string(CLASS_clsMyInfo),
                               embedded.GetObject(CLASS_clsMyInfo, TConnectKind::ckRunningOrNew));
    TclsMyInfo myInfo(connector);
    EXPECT_EQ(connector->Requests, 0);
    const auto first = myInfo.DefaultInterface();
    const auto second = myInfo.DefaultInterface();
    EXPECT_EQ(connector->Requests, 1);
    EXPECT_EQ(first, second);
}

TEST(HostComponents, ConnectFailuresRaiseHostErrors) {
    auto connector = std::make_shared<TCountingConnector>();
    TclsUIV uiv(connector);
    EXPECT_THROW(uiv.Loaded(), EHostError); // class not registered

    connector->Objects.emplace(std::string(CLASS_clsStationInfo), std::make_shared<TNotAStation>());
    TclsStationInfo info(connector);
    try {
        info.DefaultInterface();
        FAIL() << "expected an error";
    } catch (const EHostError& error) {
        EXPECT_STREQ(error.what(), "Interface not supported");
    }
    EXPECT_FALSE(info.Connected());
}

TEST(HostComponents, ComponentWithoutInterfaceSaysSo) {
    auto connector = std::make_shared<TCountingConnector>();
    connector->Objects.emplace(std::string(CLASS_clsUIV), nullptr);
    TclsUIV uiv(connector);
    try {
        uiv.GetStationCount();
        FAIL() << "expected an error";
    } catch (const EHostError& error) {
        EXPECT_STREQ(error.what(), kNotConnectedText);
    }

    TclsMapInfo attached(nullptr);
    attached.ConnectKind = TConnectKind::ckAttachToInterface;
    EXPECT_THROW(attached.DefaultInterface(), EHostError);
}

TEST(HostComponents, ClosingEventOnlyForDispatchIdThree) {
    auto host = std::make_shared<standin::TStandinHost>(SmallScenario());
    THostComponents components(std::make_shared<standin::TEmbeddedConnector>(host));
    int closings = 0;
    components.clsUIV.OnUIView32IsClosing = [&closings] { ++closings; };
    components.Loaded();
    ASSERT_EQ(host->SubscriberCount(), 1u);

    for (const std::int32_t id : {1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 99, 0, -3})
        host->SendEvent(id);
    EXPECT_EQ(closings, 0);
    host->SendEvent(3);
    EXPECT_EQ(closings, 1);
}

TEST(HostComponents, EventWithoutHandlerAndUnsubscribeOnRelease) {
    auto host = std::make_shared<standin::TStandinHost>(SmallScenario());
    {
        THostComponents components(std::make_shared<standin::TEmbeddedConnector>(host));
        components.Loaded();
        host->SendEvent(3); // no handler set: nothing happens
        EXPECT_EQ(host->SubscriberCount(), 1u);
        components.clsUIV.Disconnect();
        EXPECT_EQ(host->SubscriberCount(), 0u);
        components.clsUIV.Connect();
        EXPECT_EQ(host->SubscriberCount(), 1u);
    }
    EXPECT_EQ(host->SubscriberCount(), 0u);
    host->SendEvent(3); // nobody left to call
}

TEST(HostComponents, HandlerThatDisconnectsDuringTheEvent) {
    auto host = std::make_shared<standin::TStandinHost>(SmallScenario());
    THostComponents components(std::make_shared<standin::TEmbeddedConnector>(host));
    components.Loaded();
    int closings = 0;
    components.clsUIV.OnUIView32IsClosing = [&] {
        ++closings;
        components.clsUIV.Disconnect();
    };
    host->SendEvent(3);
    EXPECT_EQ(closings, 1);
    EXPECT_EQ(host->SubscriberCount(), 0u);
}

TEST(StandinMap, SceneKeepsTheLatestDrawingsOfAClientThatNeverClears) {
    auto host = std::make_shared<standin::TStandinHost>(standin::TScenario{});
    auto map = host::QueryInterface<host::_clsUIV>(host->Application())->GetMap();
    for (int i = 0; i < 3000; ++i)
        map->DrawCircle(0, 0, static_cast<float>(i + 1), 255, 6.2831855f, 6.283185307179586, 1.0f);
    map->DrawCircle(0, 0, 3000.0f, 255, 6.2831855f, 6.283185307179586, 1.0f); // drawn before
    ASSERT_EQ(host->Scene().size(), standin::TStandinHost::kMaxSceneDrawings);
    EXPECT_EQ(host->Scene().back().radius, 3000.0f);
    EXPECT_EQ(host->Scene().front().radius, 3000.0f - standin::TStandinHost::kMaxSceneDrawings + 1);
}

TEST(StandinMap, TextsOnTheMapAreBoundedOneByOneAndInAll) {
    using standin::TStandinHost;
    auto host = std::make_shared<TStandinHost>(standin::TScenario{});
    auto map = host::QueryInterface<host::_clsUIV>(host->Application())->GetMap();
    try {
        map->DrawMapText(std::string(1 << 20, 'x'), 0, 0, 255, {});
        FAIL() << "a 1 MB text was drawn";
    } catch (const host::EHostError& error) {
        EXPECT_STREQ(error.what(), "DrawMapText: a text on the map may be at most 1024 bytes "
                                   "long, not 1048576");
    }
    EXPECT_TRUE(host->Scene().empty());
    map->DrawMapText(std::string(TStandinHost::kMaxMapTextBytes, 'y'), 0, 0, 255, {});
    // Many different texts of the longest kind: the oldest make way.
    for (int i = 0; i < 1024; ++i)
        map->DrawMapText(std::to_string(i) + std::string(1000, 'z'), 0, 0, 255, {});
    std::size_t bytes = 0;
    for (const standin::TMapCall& call : host->Scene())
        bytes += call.text.size();
    EXPECT_LE(bytes, TStandinHost::kMaxSceneTextBytes);
    EXPECT_GT(bytes, TStandinHost::kMaxSceneTextBytes - 2 * TStandinHost::kMaxMapTextBytes);
    EXPECT_EQ(host->Scene().back().text, "1023" + std::string(1000, 'z'));
    host::QueryInterface<host::_clsUIV>(host->Application())->RefreshMap();
    map->DrawMapText(std::string(TStandinHost::kMaxMapTextBytes, 'y'), 0, 0, 255, {});
    EXPECT_EQ(host->Scene().size(), 1u);
}
