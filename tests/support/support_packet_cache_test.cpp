#include "support/APRSCache.h"
#include "tests/common/Files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace support;

namespace {

constexpr TDateTime kNow = 45000.5; // 2023-03-15 12:00 UTC

std::unique_ptr<TPacket> MakePacket(const std::string& key, TDateTime time,
                                    TPacketType type = TPacketType::ptStatus, bool alive = true,
                                    const std::string& text = {}) {
    auto packet = std::make_unique<TPacket>();
    packet->Key = key;
    packet->Time = time;
    packet->PacketType = type;
    packet->Alive = alive;
    packet->Text = text.empty() ? key + ">APRS:>" + key : text;
    return packet;
}

// A cache with a manual timer and a fixed clock, both reachable from the test.
struct Fixture {
    TManualPurgeTimer* timer = nullptr;
    TDateTime now = kNow;
    std::unique_ptr<TPacketCache> cache;

    Fixture() {
        auto manual = std::make_unique<TManualPurgeTimer>();
        timer = manual.get();
        cache = std::make_unique<TPacketCache>(std::move(manual), [this] { return now; });
    }
};

} // namespace

TEST(PacketCacheTimer, FirstPurgeAfterSixtySecondsWhateverTheExpiryAge) {
    Fixture f;
    EXPECT_EQ(f.cache->Count(), 0u);
    EXPECT_TRUE(f.timer->Enabled());
    f.cache->SetExpiryMinutes(45);
    EXPECT_EQ(f.timer->IntervalMs(), 60000);

    f.timer->Advance(59999);
    EXPECT_EQ(f.cache->PurgeCount(), 0);
    f.timer->Advance(1);
    EXPECT_EQ(f.cache->PurgeCount(), 1);
    f.timer->Advance(120000);
    EXPECT_EQ(f.cache->PurgeCount(), 3);

    // A direct purge is not a timer purge.
    f.cache->Purge(0);
    EXPECT_EQ(f.cache->PurgeCount(), 3);

    f.cache->SetAutoPurge(false);
    f.timer->Advance(600000);
    EXPECT_EQ(f.cache->PurgeCount(), 3);
}

TEST(PacketCacheTimer, TimerPurgeRemovesRecordsOlderThanTheExpiryAge) {
    Fixture f;
    f.cache->SetExpiryMinutes(45);
    f.cache->Store(MakePacket("OLD", kNow - MinutesToDays(46)));
    f.cache->Store(MakePacket("NEW", kNow - MinutesToDays(44)));
    f.timer->Advance(60000);
    ASSERT_EQ(f.cache->Count(), 1u);
    EXPECT_EQ(f.cache->At(0).Key, "NEW");
    EXPECT_EQ(f.cache->ExpireCount(), 1);
}

TEST(PacketCacheStore, ExpiresFollowsTheCurrentExpiryAgeAndGoverningTime) {
    Fixture f;
    f.cache->Store(MakePacket("A", kNow));
    EXPECT_DOUBLE_EQ(f.cache->At(0).Expires, kNow + 60.0 / 1440.0);

    f.cache->SetExpiryMinutes(45);
    auto withAlt = MakePacket("B", kNow);
    withAlt->AltTime = kNow + 1;
    withAlt->HasAltTime = true;
    f.cache->Store(std::move(withAlt));
    EXPECT_DOUBLE_EQ(f.cache->At(1).Expires, kNow + 45.0 / 1440.0);

    f.cache->SetUseAltTime(true);
    auto again = MakePacket("B", kNow);
    again->AltTime = kNow + 1;
    again->HasAltTime = true;
    f.cache->Store(std::move(again));
    EXPECT_DOUBLE_EQ(f.cache->At(1).Expires, kNow + 1 + 45.0 / 1440.0);
}

TEST(PacketCacheStore, ReplacesByExactKeyAndFindsIgnoringAsciiCase) {
    Fixture f;
    EXPECT_TRUE(f.cache->Store(MakePacket("DL1ABC", kNow)));
    EXPECT_TRUE(f.cache->Store(MakePacket("dl1abc", kNow)));
    EXPECT_TRUE(f.cache->Store(MakePacket("X", kNow)));
    EXPECT_TRUE(
        f.cache->Store(MakePacket("DL1ABC", kNow + 0.1, TPacketType::ptStatus, true, "new")));
    ASSERT_EQ(f.cache->Count(), 3u);
    EXPECT_EQ(f.cache->AddCount(), 3);
    EXPECT_EQ(f.cache->ReplaceCount(), 1);
    // The replacement keeps the first slot.
    EXPECT_EQ(f.cache->At(0).Text, "new");

    EXPECT_EQ(f.cache->FindByKey("Dl1AbC"), &f.cache->At(0));
    auto probe = MakePacket("DL1ABC", 0);
    f.cache->FindByKey("DL1ABC")->Valid = false;
    EXPECT_EQ(f.cache->FindByKey("DL1ABC"), &f.cache->At(1));
    EXPECT_EQ(f.cache->IndexOf(*probe), 0); // IndexOf ignores Valid
    EXPECT_EQ(f.cache->FindByKey("NOPE"), nullptr);
    // Only ASCII letters fold: a Latin-1 "é" (0xE9) and "É" (0xC9) differ.
    f.cache->Store(MakePacket("\xE9", kNow));
    EXPECT_EQ(f.cache->FindByKey("\xC9"), nullptr);
}

TEST(PacketCacheStore, KillRulesForItemsAndObjects) {
    Fixture f;
    EXPECT_TRUE(f.cache->Store(MakePacket("OBJ", kNow, TPacketType::ptObject)));
    EXPECT_TRUE(f.cache->Store(MakePacket("OBJ", kNow, TPacketType::ptObject, false)));
    EXPECT_EQ(f.cache->Count(), 0u);
    EXPECT_EQ(f.cache->DeleteCount(), 1);

    // Killing an item that is not held changes nothing.
    EXPECT_FALSE(f.cache->Store(MakePacket("ITEM", kNow, TPacketType::ptItem, false)));
    EXPECT_EQ(f.cache->Count(), 0u);
    EXPECT_EQ(f.cache->AddCount(), 1);
    EXPECT_EQ(f.cache->DeleteCount(), 1);
    EXPECT_EQ(f.cache->ReplaceCount(), 0);

    // Alive means nothing for other packet types.
    EXPECT_TRUE(f.cache->Store(MakePacket("ST", kNow, TPacketType::ptStatus, false)));
    EXPECT_TRUE(f.cache->Store(MakePacket("ST", kNow, TPacketType::ptMessage, false)));
    EXPECT_EQ(f.cache->Count(), 1u);
    EXPECT_EQ(f.cache->ReplaceCount(), 1);
}

TEST(PacketCacheReplace, MissesLeaveThePacketWithTheCaller) {
    Fixture f;
    f.cache->Store(MakePacket("A", kNow));
    auto packet = MakePacket("B", kNow);
    EXPECT_FALSE(f.cache->Replace(std::move(packet), -1));
    ASSERT_NE(packet, nullptr);
    EXPECT_FALSE(f.cache->Replace(std::move(packet), -2));
    ASSERT_NE(packet, nullptr);
    EXPECT_THROW(f.cache->Replace(std::move(packet), 1), EPacketCacheError);
    ASSERT_NE(packet, nullptr);
    EXPECT_TRUE(f.cache->Replace(std::move(packet), 0));
    EXPECT_EQ(packet, nullptr);
    EXPECT_EQ(f.cache->At(0).Key, "B");

    EXPECT_FALSE(f.cache->Remove(*MakePacket("A", 0)));
    EXPECT_EQ(f.cache->DeleteCount(), 0);
    EXPECT_THROW(f.cache->Store(nullptr), EPacketCacheError);
}

TEST(PacketCachePurge, CutoffRules) {
    Fixture f;
    f.cache->SetExpiryMinutes(10);
    f.cache->Store(MakePacket("EQUAL", 45000.25));
    f.cache->Store(MakePacket("BEFORE", 45000.24));
    f.cache->Store(MakePacket("RECENT", kNow - MinutesToDays(9)));

    // A positive cutoff is used as given; a time equal to it survives.
    f.cache->Purge(45000.25);
    ASSERT_EQ(f.cache->Count(), 2u);
    EXPECT_EQ(f.cache->At(0).Key, "EQUAL");

    // Zero or less: now minus the expiry age, read at purge time.
    f.cache->Purge(-1);
    ASSERT_EQ(f.cache->Count(), 1u);
    EXPECT_EQ(f.cache->At(0).Key, "RECENT");
    f.cache->SetExpiryMinutes(5);
    f.cache->Purge(0);
    EXPECT_EQ(f.cache->Count(), 0u);
    EXPECT_EQ(f.cache->ExpireCount(), 3);
}

TEST(PacketCachePurge, OldTimeExpiresEvenWithRecentAltTime) {
    Fixture f;
    f.cache->SetUseAltTime(true);
    auto packet = MakePacket("A", kNow - 1);
    packet->AltTime = kNow;
    packet->HasAltTime = true;
    f.cache->Store(std::move(packet));
    EXPECT_GT(f.cache->At(0).Expires, kNow);
    f.cache->Purge(0);
    EXPECT_EQ(f.cache->Count(), 0u);

    // And an old AltTime expires a record with a recent Time.
    auto other = MakePacket("B", kNow);
    other->AltTime = kNow - 1;
    other->HasAltTime = true;
    f.cache->Store(std::move(other));
    f.cache->Purge(0);
    EXPECT_EQ(f.cache->Count(), 0u);
}

TEST(PacketCachePurge, OnExpireSeesEachRecordWhileStillHeldFromTheEnd) {
    Fixture f;
    f.cache->Store(MakePacket("A", 1, TPacketType::ptStatus, true, "text a"));
    f.cache->Store(MakePacket("B", kNow));
    f.cache->Store(MakePacket("C", 1, TPacketType::ptStatus, true, "text c"));
    std::vector<std::string> seen;
    f.cache->SetOnExpire(
        [&](TPacketCache& sender, const std::string& key, const std::string& text) {
            EXPECT_EQ(&sender, f.cache.get());
            EXPECT_NE(sender.FindByKey(key), nullptr);
            seen.push_back(key + "/" + text + "/" + std::to_string(sender.Count()));
        });
    f.cache->Purge(0);
    EXPECT_EQ(seen, (std::vector<std::string>{"C/text c/3", "A/text a/2"}));
    EXPECT_EQ(f.cache->Count(), 1u);
}

TEST(PacketCachePurge, OnExpireMayNotAddOrRemoveRecords) {
    Fixture f;
    f.cache->Store(MakePacket("A", 1));
    f.cache->Store(MakePacket("B", 1));
    f.cache->Store(MakePacket("C", kNow));

    // A handler that lets the refusal through stops the purge with the
    // notified record still held.
    f.cache->SetOnExpire([&](TPacketCache& sender, const std::string&, const std::string&) {
        sender.Store(MakePacket("NEW", kNow));
    });
    EXPECT_THROW(f.cache->Purge(0), EPacketCacheError);
    ASSERT_EQ(f.cache->Count(), 3u);
    EXPECT_EQ(f.cache->ExpireCount(), 0);

    // A handler that catches the refusal keeps its packet and the walk completes.
    std::unique_ptr<TPacket> kept = MakePacket("KEPT", kNow);
    int refusals = 0;
    f.cache->SetOnExpire([&](TPacketCache& sender, const std::string& key, const std::string&) {
        try {
            sender.Remove(*MakePacket(key, 0));
        } catch (const EPacketCacheError&) {
            ++refusals;
        }
        try {
            sender.Store(std::move(kept));
        } catch (const EPacketCacheError&) {
            ++refusals;
        }
        EXPECT_THROW(sender.Clear(), EPacketCacheError);
        EXPECT_THROW(sender.Purge(0), EPacketCacheError);
    });
    f.cache->Purge(0);
    EXPECT_EQ(refusals, 4);
    ASSERT_NE(kept, nullptr);
    ASSERT_EQ(f.cache->Count(), 1u);
    EXPECT_EQ(f.cache->At(0).Key, "C");
    EXPECT_EQ(f.cache->ExpireCount(), 2);
    EXPECT_EQ(f.cache->DeleteCount(), 0);

    // After the purge the cache accepts changes again.
    EXPECT_TRUE(f.cache->Store(std::move(kept)));
}

namespace {

// Keys compare by their first character only.
class TPrefixCache : public TPacketCache {
public:
    int IndexOf(const TPacket& packet) const override {
        for (std::size_t i = 0; i < Count(); ++i) {
            if (At(i).Key.substr(0, 1) == packet.Key.substr(0, 1)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    bool Add(std::unique_ptr<TPacket>&& packet) override {
        ++adds;
        return TPacketCache::Add(std::move(packet));
    }
    int adds = 0;
};

} // namespace

TEST(PacketCacheOverrides, DerivedIndexOfAndAddReachRemoveReplaceAndStore) {
    TPrefixCache cache;
    cache.Store(MakePacket("ALPHA", kNow));
    EXPECT_EQ(cache.adds, 1);
    cache.Store(MakePacket("ABLE", kNow));
    ASSERT_EQ(cache.Count(), 1u);
    EXPECT_EQ(cache.At(0).Key, "ABLE");
    EXPECT_EQ(cache.adds, 1);
    EXPECT_TRUE(cache.Remove(*MakePacket("AXE", 0)));
    EXPECT_EQ(cache.Count(), 0u);
}

TEST(PacketCacheLog, EmptyCacheLeavesTheFileSystemAlone) {
    testcommon::TTempFolder dir;
    Fixture f;
    const fs::path log = dir.Path() / "packetcache.log";
    f.cache->WriteLog(log.string());
    EXPECT_FALSE(fs::exists(log));

    std::ofstream(log) << "old";
    f.cache->WriteLog(log.string());
    EXPECT_EQ(testcommon::ReadWholeFile(log), "old");
}

TEST(PacketCacheLog, OneLinePerRecordInListOrderWithCrLf) {
    testcommon::TTempFolder dir;
    Fixture f;
    const fs::path log = dir.Path() / "packetcache.log";
    std::ofstream(log) << "previous contents that are longer than the new ones";
    f.cache->Store(MakePacket("A", 45000.25, TPacketType::ptStatus, true, "A>APRS:>one"));
    f.cache->Store(MakePacket("B", 45000.123456789012345, TPacketType::ptStatus, true, "B|x"));
    f.cache->Store(MakePacket("C", 0.00001, TPacketType::ptStatus, true, ""));
    f.cache->Store(MakePacket("A", 45001, TPacketType::ptStatus, true, "A>APRS:>two"));
    f.cache->WriteLog(log.string());
    // The test runs under the C locale, whose decimal separator is ".".
    EXPECT_EQ(testcommon::ReadWholeFile(log), "45001|A>APRS:>two\r\n"
                                              "45000.123456789|B|x\r\n"
                                              "1E-5|C>APRS:>C\r\n");
    EXPECT_EQ(f.cache->Count(), 3u);
}

TEST(PacketCacheLog, UnwritableFileNamesItAndLeavesEverythingAsItWas) {
    testcommon::TTempFolder dir;
    Fixture f;
    f.cache->Store(MakePacket("A", kNow));

    const fs::path missing = dir.Path() / "no-such-dir" / "packetcache.log";
    try {
        f.cache->WriteLog(missing.string());
        FAIL() << "no error";
    } catch (const EPacketCacheError& error) {
        EXPECT_NE(std::string(error.what()).find(missing.string()), std::string::npos)
            << error.what();
    }

    // A directory in the file's place: the write fails and no stray file stays.
    const fs::path blocked = dir.Path() / "packetcache.log";
    fs::create_directory(blocked);
    EXPECT_THROW(f.cache->WriteLog(blocked.string()), EPacketCacheError);
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    EXPECT_EQ(f.cache->Count(), 1u);
}

TEST(PacketCacheTime, HelpersGiveDaysSince1899) {
    EXPECT_DOUBLE_EQ(MinutesToDays(1440), 1.0);
    EXPECT_DOUBLE_EQ(MinutesToDays(-720), -0.5);
    const TDateTime now = UtcNow();
    // Between 2020-01-01 (43831) and 2100-01-01 (73051).
    EXPECT_GT(now, 43831.0);
    EXPECT_LT(now, 73051.0);
    EXPECT_EQ(PacketTypeTexts.size(), 29u);
    EXPECT_EQ(PacketTypeText(TPacketType::ptObject), ";Object");
    EXPECT_EQ(PacketTypeText(TPacketType::ptMicECurrentRev0)[0], '\x1C');
    EXPECT_EQ(PacketTypeText(TPacketType::ptShelterData), "+[Reserver - Shelter data with time]");
}
