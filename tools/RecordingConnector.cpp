#include "tools/RecordingConnector.h"

namespace tools {

namespace {

using standin::TMapCall;
using Calls = std::shared_ptr<std::vector<TMapCall>>;

/// Records the call, then makes it; marks it failed when the host fails it.
template <class F> auto Recorded(const Calls& calls, TMapCall call, F&& make) {
    calls->push_back(std::move(call));
    const std::size_t at = calls->size() - 1;
    try {
        return make();
    } catch (...) {
        (*calls)[at].failed = true;
        throw;
    }
}

class TRecordingMap : public host::_clsUIVMap {
public:
    TRecordingMap(std::shared_ptr<host::_clsUIVMap> inner, Calls calls)
        : FInner(std::move(inner)), FCalls(std::move(calls)) {}

    void DrawCircle(float x, float y, float radius, std::uint32_t colour, float startAngle,
                    double endAngle, float aspect) override {
        Recorded(FCalls, TMapCall::Circle(x, y, radius, colour, startAngle, endAngle, aspect),
                 [&] { FInner->DrawCircle(x, y, radius, colour, startAngle, endAngle, aspect); });
    }
    void DrawMapText(const std::string& text, float x, float y, std::uint32_t colour,
                     const std::array<host::OleVariant, 6>& variants) override {
        Recorded(FCalls, TMapCall::Text(text, x, y, colour, variants),
                 [&] { FInner->DrawMapText(text, x, y, colour, variants); });
    }
    float GetTextX() override {
        return Recorded(FCalls, TMapCall::Of(TMapCall::Kind::GetTextX),
                        [&] { return FInner->GetTextX(); });
    }
    float GetTextY() override {
        return Recorded(FCalls, TMapCall::Of(TMapCall::Kind::GetTextY),
                        [&] { return FInner->GetTextY(); });
    }
    void SetDrawSettingA(std::int32_t value) override {
        Recorded(FCalls, TMapCall::Of(TMapCall::Kind::SetDrawSettingA, value),
                 [&] { FInner->SetDrawSettingA(value); });
    }
    void SetDrawSettingB(std::int32_t value) override {
        Recorded(FCalls, TMapCall::Of(TMapCall::Kind::SetDrawSettingB, value),
                 [&] { FInner->SetDrawSettingB(value); });
    }
    void SetDrawColour(std::int32_t value) override {
        Recorded(FCalls, TMapCall::Of(TMapCall::Kind::SetDrawColour, value),
                 [&] { FInner->SetDrawColour(value); });
    }

private:
    std::shared_ptr<host::_clsUIVMap> FInner;
    Calls FCalls;
};

class TRecordingApplication : public host::_clsUIV, public host::IHostEventSource {
public:
    TRecordingApplication(std::shared_ptr<host::IHostObject> inner, Calls calls)
        : FInner(host::QueryInterface<host::_clsUIV>(inner)),
          FEvents(host::QueryInterface<host::IHostEventSource>(inner)), FCalls(std::move(calls)) {}

    bool Valid() const { return FInner != nullptr; }

    std::int16_t GetStationInfo(std::shared_ptr<host::_clsStationInfo>& info) override {
        return FInner->GetStationInfo(info);
    }
    void RefreshMap() override {
        Recorded(FCalls, TMapCall::Of(TMapCall::Kind::RefreshMap), [&] { FInner->RefreshMap(); });
    }
    std::shared_ptr<host::_clsUIVMap> GetMap() override {
        auto map = Recorded(FCalls, TMapCall::Of(TMapCall::Kind::GetMap),
                            [&] { return FInner->GetMap(); });
        return std::make_shared<TRecordingMap>(std::move(map), FCalls);
    }
    std::int16_t GetStationCount() override { return FInner->GetStationCount(); }
    std::string GetStationListEntry(std::int16_t& index) override {
        return FInner->GetStationListEntry(index);
    }
    void GetMyInfo(std::shared_ptr<host::_clsMyInfo>& info) override { FInner->GetMyInfo(info); }

    // Events pass straight through; a host without events takes no subscription.
    std::uint32_t Advise(host::IHostEventSink* sink) override {
        return FEvents ? FEvents->Advise(sink) : 0;
    }
    void Unadvise(std::uint32_t cookie) override {
        if (FEvents)
            FEvents->Unadvise(cookie);
    }

private:
    std::shared_ptr<host::_clsUIV> FInner;
    std::shared_ptr<host::IHostEventSource> FEvents;
    Calls FCalls;
};

} // namespace

TRecordingConnector::TRecordingConnector(std::shared_ptr<host::IHostConnector> inner)
    : FInner(std::move(inner)), FCalls(std::make_shared<std::vector<TMapCall>>()) {}

std::shared_ptr<host::IHostObject> TRecordingConnector::GetObject(host::Guid classId,
                                                                  host::TConnectKind kind) {
    std::shared_ptr<host::IHostObject> object = FInner->GetObject(classId, kind);
    if (classId != host::CLASS_clsUIV || !object)
        return object;
    auto wrapped = std::make_shared<TRecordingApplication>(object, FCalls);
    if (!wrapped->Valid())
        return object; // let the component report the missing interface
    return wrapped;
}

} // namespace tools
