// Velloran and the COM stand-in host in separate processes, under Windows or
// Wine: the interface's layout, events, replacement objects, failures and a
// host that dies during a run. Expects the stand-in host to be registered.

#include "host/com/ComConnector.h"
#include "host/com/ComSupport.h"
#include "standin/com/ControlMessages.h"
#include "standin/model/Scenario.h"
#include "tests/windows/HostProcess.h"
#include "tests/windows/VtablePlacements.h"
#include "tools/HeadlessRun.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <sstream>

using comtest::HostProgram;
using comtest::PumpUntil;
using comtest::THostProcess;
using Microsoft::WRL::ComPtr;

namespace {

std::string Golden(const std::string& name) {
    return std::string(VELLORAN_SOURCE_DIR) + "/tests/golden/" + name + "/scenario.json";
}

std::string Report(tools::THeadlessRun& run) {
    run.Calculation.ReadOwnStation();
    run.Connector->ClearMapCalls();
    run.Calculation.btnCalculateClick();
    std::ostringstream out;
    tools::WriteReport(run, out);
    return out.str();
}

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

std::shared_ptr<host::IHostConnector> Com() {
    return std::make_shared<host::TComConnector>();
}

} // namespace

namespace {

// An object that leaves error information for one interface only.
class TErrorSource final : public ISupportErrorInfo {
public:
    explicit TErrorSource(const IID& supported) : FSupported(supported) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != IID_ISupportErrorInfo)
            return E_NOINTERFACE;
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == FSupported ? S_OK : S_FALSE;
    }

private:
    IID FSupported;
};

void LeaveErrorInfo(const wchar_t* text) {
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(::CreateErrorInfo(create.GetAddressOf()), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(text));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(create.As(&info), S_OK);
    ::SetErrorInfo(0, info.Get());
}

std::string RaisedText(HRESULT status, IUnknown* object, const IID& iid) {
    try {
        host::com::ThrowHostError(status, object, iid);
    } catch (const host::EHostError& error) {
        return error.what();
    }
    return "(nothing raised)";
}

} // namespace

namespace {

// Something registered under the host's class that is not the host: it
// answers no interface beyond IUnknown.
class TNotAHost final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
        return QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

} // namespace

TEST(ComErrors, AnObjectWithoutTheHostsInterfaceIsRefused) {
    TNotAHost notAHost;
    DWORD cookie = 0;
    ASSERT_EQ(::CoRegisterClassObject(host::com::GuidFromText(host::CLASS_clsUIV), &notAHost,
                                      CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    host::THostComponents components(Com());
    try {
        components.Loaded();
        ADD_FAILURE() << "connected to an object without the host's interface";
    } catch (const host::EHostError& error) {
        EXPECT_STREQ(error.what(), "Interface not supported");
    }
    EXPECT_FALSE(components.clsUIV.Connected());
    ::CoRevokeClassObject(cookie);
}

TEST(ComErrors, TheHostsDescriptionOnlyFromAnObjectThatLeavesOne) {
    TErrorSource source(IID_IDispatch);
    LeaveErrorInfo(L"UI-View32 is not responding");
    EXPECT_EQ(RaisedText(E_FAIL, &source, IID_IDispatch), "UI-View32 is not responding");

    // Error information of an earlier call is not this call's.
    const std::string systemText = host::com::StatusText(E_FAIL);
    LeaveErrorInfo(L"stale");
    EXPECT_EQ(RaisedText(E_FAIL, &source, IID_IClassFactory), systemText);
    LeaveErrorInfo(L"stale");
    EXPECT_EQ(RaisedText(E_FAIL, nullptr, IID_IDispatch), systemText);
}

TEST(ComErrors, SystemTextsForTheCodesOfAMissingHost) {
    EXPECT_EQ(host::com::StatusText(REGDB_E_CLASSNOTREG), "Class not registered");
    EXPECT_EQ(host::com::StatusText(static_cast<HRESULT>(0x80001234)), "Error 0x80001234");
}

TEST(ComInterfaces, EachOperationSitsAtItsPlaceInTheHeader) {
    for (const comtest::TPlacement& placement : comtest::Placements())
        EXPECT_EQ(placement.inHeader, placement.expected)
            << std::string(placement.name, placement.name + wcslen(placement.name));
}

TEST(ComInterfaces, TheTypeLibraryGivesTheSamePlaces) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(::LoadTypeLibEx(HostProgram().c_str(), REGKIND_NONE, library.GetAddressOf()), S_OK);
    for (const comtest::TPlacement& placement : comtest::Placements()) {
        const std::string name(placement.name, placement.name + wcslen(placement.name));
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfoOfGuid(*placement.iid, info.GetAddressOf()), S_OK) << name;
        // A dual interface is found as its dispatch side; the method table is
        // the interface side.
        HREFTYPE vtableSide = 0;
        ComPtr<ITypeInfo> vtable;
        if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide)))
            ASSERT_EQ(info->GetRefTypeInfo(vtableSide, vtable.GetAddressOf()), S_OK);
        else
            vtable = info;
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
        int found = 0;
        for (UINT i = 0; i < attributes->cFuncs; ++i) {
            FUNCDESC* function = nullptr;
            ASSERT_EQ(vtable->GetFuncDesc(i, &function), S_OK);
            BSTR functionName = nullptr;
            UINT count = 0;
            vtable->GetNames(function->memid, &functionName, 1, &count);
            if (count == 1 && host::com::ToUtf8(functionName) == name)
                found = function->oVft / static_cast<int>(sizeof(void*)) - 7 + 1;
            ::SysFreeString(functionName);
            vtable->ReleaseFuncDesc(function);
        }
        vtable->ReleaseTypeAttr(attributes);
        EXPECT_EQ(found, placement.expected) << name;
    }
}

TEST(ComHost, OnlyEventThreeClosesTheClientAndEveryEventIsTaken) {
    THostProcess hostProcess("--scenario " + Golden("third-party"));
    host::THostComponents components(Com());
    bool closing = false;
    components.clsUIV.OnUIView32IsClosing = [&closing] { closing = true; };
    components.Loaded();

    for (const int id : {1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 99})
        hostProcess.Post(standin::com::WM_STANDIN_SEND_EVENT, static_cast<WPARAM>(id));
    ASSERT_TRUE(PumpUntil(
        [&] { return hostProcess.Ask(standin::com::WM_STANDIN_EVENTS_DELIVERED) == 11; }));
    EXPECT_FALSE(closing);
    EXPECT_GT(components.clsUIV.GetStationCount(), 0); // still attached and served

    hostProcess.Post(standin::com::WM_STANDIN_SEND_EVENT, 3);
    ASSERT_TRUE(PumpUntil([&] { return closing; }));
    EXPECT_TRUE(PumpUntil(
        [&] { return hostProcess.Ask(standin::com::WM_STANDIN_EVENTS_DELIVERED) == 12; }));
}

TEST(ComHost, ClosingTheHostSendsEventThreeThenLaterCallsFail) {
    THostProcess hostProcess("--scenario " + Golden("third-party"));
    host::THostComponents components(Com());
    bool closing = false;
    components.clsUIV.OnUIView32IsClosing = [&closing] { closing = true; };
    components.Loaded();

    hostProcess.Post(WM_CLOSE);
    ASSERT_TRUE(PumpUntil([&] { return closing; }));
    ASSERT_TRUE(PumpUntil([&] { return hostProcess.Ended(); }));
    try {
        components.clsUIV.GetStationCount();
        FAIL() << "a call to a host that has gone succeeded";
    } catch (const host::EHostError& error) {
        EXPECT_FALSE(std::string(error.what()).empty());
    }
}

TEST(ComHost, ARunOverComReportsWhatTheEmbeddedHostReports) {
    for (const char* name : {"third-party", "ellipse", "nul-symbol"}) {
        SCOPED_TRACE(name);
        tools::THeadlessRun embedded(standin::LoadScenarioFile(Golden(name)));
        const std::string expected = Report(embedded);
        THostProcess hostProcess("--scenario " + Golden(name));
        tools::THeadlessRun overCom(Com());
        EXPECT_EQ(Report(overCom), expected);
    }
}

TEST(ComHost, ReplacementObjectsAreReadFrom) {
    tools::THeadlessRun embedded(standin::LoadScenarioFile(Golden("third-party")));
    const std::string expected = Report(embedded);

    THostProcess hostProcess("--replace-objects --scenario " + Golden("third-party"));
    tools::THeadlessRun overCom(Com());
    EXPECT_EQ(Report(overCom), expected);
    // Every station read and the own station went to the replacements.
    EXPECT_GT(hostProcess.Ask(standin::com::WM_STANDIN_REPLACEMENT_READS), 20u);
}

TEST(ComHost, AFailingOperationRaisesTheHostsOwnText) {
    THostProcess hostProcess("--fail GetDistance 2 \"The radio went quiet\" --scenario " +
                             Golden("third-party"));
    tools::THeadlessRun overCom(Com());
    overCom.Calculation.ReadOwnStation();
    try {
        overCom.Calculation.btnCalculateClick();
        FAIL() << "the run did not fail";
    } catch (const host::EHostError& error) {
        // Wine (8) carries no error information between processes: there the
        // text is the system's for the host's code.
        const std::string text = error.what();
        EXPECT_TRUE(text == "The radio went quiet" ||
                    (RunningUnderWine() && text == host::com::StatusText(E_FAIL)))
            << text;
    }
    EXPECT_TRUE(overCom.Window.CalculateEnabled);
}

// A host that went away and was started again serves the next run whole,
// every object made again on it. (Before any host is killed: see below.)
TEST(ComHost, ARunAfterTheHostWasStartedAgainReadsTheNewHost) {
    auto first = std::make_unique<THostProcess>("--scenario " + Golden("third-party"));
    tools::THeadlessRun overCom(Com());
    {
        tools::THeadlessRun embedded(standin::LoadScenarioFile(Golden("third-party")));
        EXPECT_EQ(Report(overCom), Report(embedded));
    }
    first.reset();
    EXPECT_THROW(overCom.Components.clsUIV.GetStationCount(), host::EHostError);
    THostProcess second("--scenario " + Golden("ellipse"));
    tools::THeadlessRun embedded(standin::LoadScenarioFile(Golden("ellipse")));
    EXPECT_EQ(Report(overCom), Report(embedded));
}

TEST(ComHost, AHostKilledDuringARunGivesAClearErrorAndNoHang) {
    THostProcess hostProcess("");
    tools::THeadlessRun overCom(Com());
    overCom.Calculation.ReadOwnStation();
    overCom.Panes.OnAppend = [&] {
        if (!overCom.Panes.Summary.empty() &&
            overCom.Panes.Summary.back() == "-Searching for stations heard on RF")
            hostProcess.Kill();
    };
    std::string message;
    try {
        overCom.Calculation.btnCalculateClick();
    } catch (const host::EHostError& error) {
        message = error.what();
    }
    EXPECT_TRUE(hostProcess.Ended());
    EXPECT_FALSE(message.empty()) << "the run went on without its host";
    EXPECT_EQ(message.rfind("Error 0x", 0), std::string::npos) << "no text for " << message;
    // Once the host has gone, every later call fails the same way.
    EXPECT_THROW(overCom.Components.clsUIV.GetStationCount(), host::EHostError);
}

// A stopped host: a call runs out of time with the operator's words, later
// calls fail at once, and once the host answers again calls go through.
TEST(ComHostTrouble, AStoppedHostRunsOutOfTimeThenFailsAtOnceUntilItAnswersAgain) {
    THostProcess hostProcess("--scenario " + Golden("third-party"));
    ::_putenv_s("VELLORAN_HOST_TIMEOUT_MS", "2000");
    host::THostComponents components(Com());
    components.Loaded();
    const std::int16_t count = components.clsUIV.GetStationCount();
    ASSERT_GT(count, 0);

    hostProcess.Suspend();
    const ULONGLONG start = ::GetTickCount64();
    try {
        components.clsUIV.GetStationCount();
        ADD_FAILURE() << "a stopped host answered";
    } catch (const host::EHostError& error) {
        EXPECT_STREQ(error.what(), "The host did not answer GetStationCount within 2000 ms");
        EXPECT_EQ(error.Failure(), host::THostFailure::NotAnswering);
    }
    const ULONGLONG waited = ::GetTickCount64() - start;
    EXPECT_GE(waited, 1900u);
    EXPECT_LT(waited, 15000u);

    const ULONGLONG again = ::GetTickCount64();
    try {
        components.clsUIV.GetMap();
        ADD_FAILURE() << "a stopped host answered";
    } catch (const host::EHostError& error) {
        EXPECT_STREQ(error.what(), "The host is not answering; GetMap was not called");
    }
    // At once: a brief look whether the host answers, not the whole limit.
    EXPECT_LT(::GetTickCount64() - again, 1900u);

    hostProcess.Resume();
    std::int16_t after = 0;
    EXPECT_TRUE(PumpUntil([&] {
        try {
            after = components.clsUIV.GetStationCount();
            return true;
        } catch (const host::EHostError&) {
            return false;
        }
    }));
    EXPECT_EQ(after, count);
    ::_putenv_s("VELLORAN_HOST_TIMEOUT_MS", "");
}

// A host killed and started again is attached afresh: calls and events go to
// the new one without making the components again. (Under Wine 8 the class
// table keeps a killed server's class objects, so objects made through them
// cannot be made again there; the application object comes from the running
// object table, which Wine does clear.)
TEST(ComHostTrouble, AHostStartedAgainAfterItWasKilledIsUsed) {
    auto first = std::make_unique<THostProcess>("--scenario " + Golden("third-party"));
    host::THostComponents components(Com());
    bool closing = false;
    components.clsUIV.OnUIView32IsClosing = [&closing] { closing = true; };
    components.Loaded();
    ASSERT_GT(components.clsUIV.GetStationCount(), 0);

    first->Kill();
    first.reset();
    EXPECT_THROW(components.clsUIV.GetStationCount(), host::EHostError);
    // Without a host every call keeps failing.
    EXPECT_THROW(components.clsUIV.GetStationCount(), host::EHostError);

    THostProcess second("--scenario " + Golden("ellipse"));
    tools::THeadlessRun embedded(standin::LoadScenarioFile(Golden("ellipse")));
    const std::int16_t expected = embedded.Components.clsUIV.GetStationCount();
    std::int16_t count = 0;
    // The running object table forgets the killed host a moment after it
    // has gone.
    EXPECT_TRUE(PumpUntil([&] {
        try {
            count = components.clsUIV.GetStationCount();
            return true;
        } catch (const host::EHostError&) {
            return false;
        }
    }));
    EXPECT_EQ(count, expected);
    EXPECT_NE(components.clsUIV.GetMap(), nullptr);
    // The subscription moved along: the new host's closing event arrives.
    second.Post(WM_CLOSE);
    EXPECT_TRUE(PumpUntil([&] { return closing; }));
}

int main(int argc, char** argv) {
    const host::com::TApartment apartment;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
