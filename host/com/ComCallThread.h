#pragma once

#include "host/AnswerGate.h"
#include "host/com/ComSupport.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace host {

class IHostEventSink;
class IHostWait;

namespace com {

/// Every call to a host over COM is made on a thread of its own, in the
/// multithreaded apartment, while the calling thread waits with a time limit
/// and goes on with its window meanwhile. COM itself offers no time limit
/// that Wine honours (neither a message filter's cancel nor CoCancelCall ends
/// the wait there), and a host that has stopped would otherwise hold the
/// window for ever. A call that runs out of time is left to the call thread;
/// later calls fail at once until that one has been answered.
///
/// The host's events reach a message-only window of the thread that made
/// the link and are passed on there, as the window's own messages are; those
/// that arrive while a call waits are held until it has been answered.
///
/// Objects of the host are held through the link: their references are
/// released on the call thread, never on the window's.
class TComLink : public std::enable_shared_from_this<TComLink> {
public:
    /// Starts the call thread; the calling thread is the one events reach.
    static std::shared_ptr<TComLink> Make();
    ~TComLink();
    TComLink(const TComLink&) = delete;
    TComLink& operator=(const TComLink&) = delete;

    /// Runs work on the call thread within the time limit and gives its
    /// result, or raises what it raised. method names the call in the
    /// operator's messages. limitMs 0: the host's answer limit.
    template <class R> R Call(const char* method, std::function<R()> work, int limitMs = 0) {
        auto result = std::make_shared<std::optional<R>>();
        Run(
            method, [result, work = std::move(work)] { result->emplace(work()); }, limitMs);
        return std::move(**result);
    }
    void Call(const char* method, std::function<void()> work, int limitMs = 0) {
        Run(method, std::move(work), limitMs);
    }

    /// Runs work on the call thread after what is queued, without waiting
    /// for it (references of the host's objects are released this way).
    void Later(std::function<void()> work);

    /// Who is told while a call waits.
    void SetWait(IHostWait* wait) { FWait = wait; }

    /// Counts attachments to the host: objects made under an earlier one are
    /// made again before they are used.
    std::uint64_t Generation() const { return FGeneration->load(); }
    /// The same count, for work that runs on the call thread later (a call
    /// attaches afresh before its work runs).
    std::shared_ptr<const std::atomic<std::uint64_t>> GenerationCount() const {
        return FGeneration;
    }
    /// Set by the connector: attaches afresh to a host that runs now (on the
    /// call thread); false when none runs.
    std::function<bool()> FReattach;

    /// Events for the sink go through this window; gives the key the COM
    /// sink posts with. RemoveSink stops them.
    std::uint32_t AddSink(IHostEventSink* sink);
    void RemoveSink(std::uint32_t key);
    /// The window and message the COM sink posts its events to.
    HWND EventWindow() const { return FEventWindow; }
    static constexpr UINT kEventMessage = WM_APP + 0x4C;

private:
    struct TQueue;
    struct TJob;
    TComLink();
    static DWORD WINAPI ThreadMain(void* parameter);
    void Run(const char* method, std::function<void()> work, int limitMs);
    std::shared_ptr<TJob> Post(std::function<void()> work, bool waited);
    bool WaitFor(const TJob& job, int limitMs);
    bool Answers();
    void Event(WPARAM key, LPARAM dispatchId);
    void DeliverHeld();
    static LRESULT CALLBACK EventWindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    std::shared_ptr<TQueue> FQueue;
    HANDLE FThread = nullptr;
    HWND FEventWindow = nullptr;
    IHostWait* FWait = nullptr;
    TAnswerGate FGate{"The host"}; // over COM, usually the real host
    std::shared_ptr<TJob> FProbe;
    bool FWaiting = false;
    std::shared_ptr<std::atomic<std::uint64_t>> FGeneration =
        std::make_shared<std::atomic<std::uint64_t>>(0);
    std::optional<EHostError> FGone;
    std::map<std::uint32_t, IHostEventSink*> FSinks;
    std::uint32_t FNextKey = 1;
    std::vector<std::pair<std::uint32_t, std::int32_t>> FHeld;
};

} // namespace com
} // namespace host
