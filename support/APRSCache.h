#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/APRSData.h"
#include "support/APRSParser.h"

/// The packet cache: received packets kept for a limited time.
namespace support {

/// A cache operation that cannot be carried out (a log file that cannot be
/// written, a record added or removed from inside OnExpire, a missing packet).
class EPacketCacheError : public std::runtime_error {
public:
    explicit EPacketCacheError(const std::string& message) : std::runtime_error(message) {}
};

/// The periodic timer that drives the cache's purges. The cache owns one and
/// configures it once at creation; the program supplies a message-loop timer,
/// tests a manual one.
class IPurgeTimer {
public:
    virtual ~IPurgeTimer() = default;
    /// Sets the period and the handler called on every tick.
    virtual void Configure(std::int32_t intervalMs, std::function<void()> onTick) = 0;
    /// Starts or stops the ticks; starting counts a full period from now.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual std::int32_t IntervalMs() const = 0;
};

/// A purge timer without an event loop: time passes only through Advance.
/// The cache uses one when it is given no timer.
class TManualPurgeTimer : public IPurgeTimer {
public:
    void Configure(std::int32_t intervalMs, std::function<void()> onTick) override;
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return FEnabled; }
    std::int32_t IntervalMs() const override { return FIntervalMs; }
    /// Lets the given milliseconds pass, ticking once per full period while enabled.
    void Advance(std::int64_t ms);

private:
    std::int32_t FIntervalMs = 0;
    std::function<void()> FOnTick;
    bool FEnabled = false;
    std::int64_t FElapsedMs = 0;
};

/// The clock the cache reads for its default purge cutoff.
using TUtcClock = std::function<TDateTime()>;

/// Keeps one record per key for a limited time.
///
/// Records live in insertion order; a replacing record takes the slot of the
/// one it replaces. Every lookup is a linear scan in index order. The cache
/// owns its records and destroys those it replaces, removes, purges or clears.
class TPacketCache {
public:
    /// Called for each record that a purge removes, while it is still held.
    /// The handler may read the cache but not add or remove records.
    using TExpireHandler =
        std::function<void(TPacketCache& sender, const std::string& key, const std::string& text)>;

    /// Creates an empty cache with its purge timer (period CheckInterval
    /// seconds, enabled as AutoPurge). Without a timer a TManualPurgeTimer is
    /// used; without a clock, UtcNow.
    explicit TPacketCache(std::unique_ptr<IPurgeTimer> timer = nullptr, TUtcClock clock = {});
    virtual ~TPacketCache();
    TPacketCache(const TPacketCache&) = delete;
    TPacketCache& operator=(const TPacketCache&) = delete;

    /// Appends the packet without looking for its key; sets its Expires.
    /// Takes the packet and returns true.
    virtual bool Add(std::unique_ptr<TPacket>&& packet);
    /// Inserts, replaces or kills by key. A killing Item or Object packet
    /// removes the record of its key and is destroyed; the result is whether a
    /// record was removed. Any other packet replaces the record of its key or
    /// is appended; the result is true. The packet is always taken.
    virtual bool Store(std::unique_ptr<TPacket>&& packet);
    /// Index of the first record whose Key equals the packet's exactly, or -1.
    virtual int IndexOf(const TPacket& packet) const;
    /// The first valid record whose Key equals the key, ASCII letters compared
    /// without case; nullptr when none. The record stays the cache's.
    virtual TPacket* FindByKey(std::string_view key) const;

    /// Destroys the record with the packet's key (found through IndexOf).
    /// The packet itself is only read. Returns whether a record was removed.
    bool Remove(const TPacket& packet);
    /// Puts the packet into slot `index` (-1: the slot found through IndexOf),
    /// destroying the record there. Returns false, leaving the packet with the
    /// caller, when there is no such slot. Throws for an index past the end.
    bool Replace(std::unique_ptr<TPacket>&& packet, int index);
    /// Removes the records older than the cutoff; a cutoff of 0 or less means
    /// now minus ExpiryMinutes.
    void Purge(TDateTime cutoff);
    /// Destroys every record; the counters keep their values.
    void Clear();
    /// Writes "time|text" CR LF for every record, in list order. An empty
    /// cache writes nothing and leaves any existing file alone. Throws
    /// EPacketCacheError naming the file when it cannot be written; an
    /// existing file is then left as it was.
    void WriteLog(const std::string& fileName) const;
    /// The timer's handler: a purge with cutoff 0, counted in PurgeCount.
    void PurgeTimerTick();

    std::size_t Count() const { return FPackets.size(); }
    /// The record in slot `index` (no range check beyond the vector's own at()).
    const TPacket& At(std::size_t index) const { return *FPackets.at(index); }

    bool AutoPurge() const { return FAutoPurge; }
    /// Starts or stops the purge timer.
    void SetAutoPurge(bool value);
    /// Purge timer period in seconds, fixed at creation.
    std::int32_t CheckInterval() const { return FCheckInterval; }
    std::int32_t ExpiryMinutes() const { return FExpiryMinutes; }
    void SetExpiryMinutes(std::int32_t minutes) { FExpiryMinutes = minutes; }
    bool UseAltTime() const { return FUseAltTime; }
    void SetUseAltTime(bool value) { FUseAltTime = value; }
    void SetOnExpire(TExpireHandler handler) { FOnExpire = std::move(handler); }

    std::int32_t AddCount() const { return FAddCount; }
    std::int32_t ExpireCount() const { return FExpireCount; }
    std::int32_t DeleteCount() const { return FDeleteCount; }
    std::int32_t ReplaceCount() const { return FReplaceCount; }
    std::int32_t PurgeCount() const { return FPurgeCount; }

    /// The purge timer, for wiring and inspection.
    IPurgeTimer& PurgeTimer() { return *FTimer; }

protected:
    /// Sets Expires from the governing time and the current ExpiryMinutes.
    void StampExpiry(TPacket& packet) const;

private:
    void RefuseDuringExpire(const char* operation) const;

    bool FAutoPurge = true;
    std::vector<std::unique_ptr<TPacket>> FPackets;
    std::int32_t FCheckInterval = 60;
    std::int32_t FExpiryMinutes = 60;
    bool FUseAltTime = false;
    TExpireHandler FOnExpire;
    std::int32_t FAddCount = 0;
    std::int32_t FExpireCount = 0;
    std::int32_t FDeleteCount = 0;
    std::int32_t FReplaceCount = 0;
    std::int32_t FPurgeCount = 0;
    std::unique_ptr<IPurgeTimer> FTimer;
    TUtcClock FClock;
    bool FInExpire = false;
};

} // namespace support
