#include "support/APRSCache.h"

#include "support/ReplaceFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <locale>
#include <system_error>

namespace support {

namespace {

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

// The decimal separator of the user's locale, as numbers are shown to them.
char UserDecimalSeparator() {
    try {
        return std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
    } catch (const std::runtime_error&) {
        // The environment names a locale that is not installed.
        return '.';
    }
}

// General form with at most 15 significant digits: "45000.5", "0", "1E-5".
std::string FormatLogTime(double value, char separator) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    // to_chars writes "1e-05"; the exponent is shown as "E-5".
    if (const auto e = text.find('e'); e != std::string::npos) {
        std::string exponent = text.substr(e + 1);
        std::string sign;
        if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
            sign = exponent[0] == '-' ? "-" : "";
            exponent.erase(0, 1);
        }
        exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
        text = text.substr(0, e) + "E" + sign + exponent;
    }
    if (const auto dot = text.find('.'); dot != std::string::npos) {
        text[dot] = separator;
    }
    return text;
}

} // namespace

void TManualPurgeTimer::Configure(std::int32_t intervalMs, std::function<void()> onTick) {
    FIntervalMs = intervalMs;
    FOnTick = std::move(onTick);
    FElapsedMs = 0;
}

void TManualPurgeTimer::SetEnabled(bool enabled) {
    if (enabled && !FEnabled) {
        FElapsedMs = 0;
    }
    FEnabled = enabled;
}

void TManualPurgeTimer::Advance(std::int64_t ms) {
    if (!FEnabled || FIntervalMs <= 0) {
        return;
    }
    FElapsedMs += ms;
    while (FEnabled && FElapsedMs >= FIntervalMs) {
        FElapsedMs -= FIntervalMs;
        if (FOnTick) {
            FOnTick();
        }
    }
}

TPacketCache::TPacketCache(std::unique_ptr<IPurgeTimer> timer, TUtcClock clock)
    : FTimer(timer ? std::move(timer) : std::make_unique<TManualPurgeTimer>()),
      FClock(clock ? std::move(clock) : TUtcClock(UtcNow)) {
    FTimer->Configure(FCheckInterval * 1000, [this] { PurgeTimerTick(); });
    FTimer->SetEnabled(FAutoPurge);
}

TPacketCache::~TPacketCache() {
    FTimer->SetEnabled(false);
    // A destructor cannot report the refusal Clear gives inside OnExpire, and
    // the records go with the cache anyway.
    FPackets.clear();
}

void TPacketCache::SetAutoPurge(bool value) {
    FAutoPurge = value;
    FTimer->SetEnabled(value);
}

void TPacketCache::StampExpiry(TPacket& packet) const {
    const TDateTime governing = (FUseAltTime && packet.HasAltTime) ? packet.AltTime : packet.Time;
    packet.Expires = governing + MinutesToDays(FExpiryMinutes);
}

void TPacketCache::RefuseDuringExpire(const char* operation) const {
    if (FInExpire) {
        throw EPacketCacheError(std::string("TPacketCache.") + operation +
                                " - Records cannot be added or removed while OnExpire runs");
    }
}

bool TPacketCache::Add(std::unique_ptr<TPacket>&& packet) {
    RefuseDuringExpire("Add");
    if (!packet) {
        throw EPacketCacheError("TPacketCache.Add - No packet given");
    }
    StampExpiry(*packet);
    FPackets.push_back(std::move(packet));
    ++FAddCount;
    return true;
}

bool TPacketCache::Store(std::unique_ptr<TPacket>&& packet) {
    RefuseDuringExpire("Store");
    if (!packet) {
        throw EPacketCacheError("TPacketCache.Store - No packet given");
    }
    StampExpiry(*packet);
    if ((packet->PacketType == TPacketType::ptItem ||
         packet->PacketType == TPacketType::ptObject) &&
        !packet->Alive) {
        const bool removed = Remove(*packet);
        packet.reset();
        return removed;
    }
    if (Replace(std::move(packet), -1)) {
        return true;
    }
    return Add(std::move(packet));
}

int TPacketCache::IndexOf(const TPacket& packet) const {
    for (std::size_t i = 0; i < FPackets.size(); ++i) {
        if (FPackets[i]->Key == packet.Key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TPacket* TPacketCache::FindByKey(std::string_view key) const {
    for (const auto& record : FPackets) {
        if (record->Valid && SameTextAscii(record->Key, key)) {
            return record.get();
        }
    }
    return nullptr;
}

bool TPacketCache::Remove(const TPacket& packet) {
    RefuseDuringExpire("Remove");
    const int index = IndexOf(packet);
    if (index < 0) {
        return false;
    }
    FPackets.erase(FPackets.begin() + index);
    ++FDeleteCount;
    return true;
}

bool TPacketCache::Replace(std::unique_ptr<TPacket>&& packet, int index) {
    RefuseDuringExpire("Replace");
    if (!packet) {
        throw EPacketCacheError("TPacketCache.Replace - No packet given");
    }
    if (index == -1) {
        index = IndexOf(*packet);
    }
    if (index < 0) {
        return false;
    }
    if (static_cast<std::size_t>(index) >= FPackets.size()) {
        throw EPacketCacheError("TPacketCache.Replace - Index " + std::to_string(index) +
                                " is beyond the " + std::to_string(FPackets.size()) +
                                " records held");
    }
    FPackets[static_cast<std::size_t>(index)] = std::move(packet);
    ++FReplaceCount;
    return true;
}

void TPacketCache::Purge(TDateTime cutoff) {
    RefuseDuringExpire("Purge");
    // "Not greater than 0" also catches NaN.
    if (!(cutoff > 0)) {
        cutoff = FClock() - MinutesToDays(FExpiryMinutes);
    }
    // A handler that replaces itself must not destroy the one that is running.
    const TExpireHandler onExpire = FOnExpire;
    for (std::size_t i = FPackets.size(); i-- > 0;) {
        const TPacket& record = *FPackets[i];
        const bool expired =
            record.Time < cutoff || (FUseAltTime && record.HasAltTime && record.AltTime < cutoff);
        if (!expired) {
            continue;
        }
        if (onExpire) {
            // The walk relies on the list keeping its shape while the handler
            // runs; the mutating operations refuse while this is set.
            FInExpire = true;
            struct Reset {
                bool& flag;
                ~Reset() { flag = false; }
            } reset{FInExpire};
            onExpire(*this, record.Key, record.Text);
        }
        FPackets.erase(FPackets.begin() + static_cast<std::ptrdiff_t>(i));
        ++FExpireCount;
    }
}

void TPacketCache::Clear() {
    RefuseDuringExpire("Clear");
    // Records go from index 0 upward, as they were added.
    for (auto& record : FPackets) {
        record.reset();
    }
    FPackets.clear();
}

void TPacketCache::WriteLog(const std::string& fileName) const {
    if (FPackets.empty()) {
        return;
    }
    const char separator = UserDecimalSeparator();
    std::string text;
    for (const auto& record : FPackets) {
        text += FormatLogTime(record->Time, separator);
        text += '|';
        text += record->Text;
        text += "\r\n";
    }
    try {
        ReplaceFileWithText(fileName, text);
    } catch (const std::system_error& error) {
        throw EPacketCacheError("Cannot create file \"" + fileName + "\". " +
                                error.code().message());
    }
}

void TPacketCache::PurgeTimerTick() {
    Purge(0);
    ++FPurgeCount;
}

} // namespace support
