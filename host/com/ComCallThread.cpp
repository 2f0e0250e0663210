#include "host/com/ComCallThread.h"

#include "host/Components.h"

#include <algorithm>
#include <deque>

namespace host::com {

struct TComLink::TQueue {
    SRWLOCK Lock = SRWLOCK_INIT;
    CONDITION_VARIABLE Ready = CONDITION_VARIABLE_INIT;
    std::deque<std::shared_ptr<TJob>> Jobs;
    bool Quit = false;
    DWORD ThreadId = 0;
};

struct TComLink::TJob {
    explicit TJob(std::function<void()> work, bool waited)
        : Work(std::move(work)),
          Done(waited ? ::CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr) {}
    ~TJob() {
        if (Done)
            ::CloseHandle(Done);
    }
    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    std::function<void()> Work;
    std::exception_ptr Error;
    HANDLE Done;
};

namespace {

constexpr wchar_t kEventWindowClass[] = L"VelloranHostEvents";
// Held events are delivered from the window's own loop, after the call that
// held them has returned to it.
constexpr UINT kDeliverHeldMessage = WM_APP + 0x4D;

} // namespace

DWORD WINAPI TComLink::ThreadMain(void* parameter) {
    const std::unique_ptr<std::shared_ptr<TQueue>> held(
        static_cast<std::shared_ptr<TQueue>*>(parameter));
    TQueue& queue = **held;
    const HRESULT initialised = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        std::shared_ptr<TJob> job;
        ::AcquireSRWLockExclusive(&queue.Lock);
        while (queue.Jobs.empty() && !queue.Quit)
            ::SleepConditionVariableSRW(&queue.Ready, &queue.Lock, INFINITE, 0);
        if (!queue.Jobs.empty()) {
            job = std::move(queue.Jobs.front());
            queue.Jobs.pop_front();
        }
        ::ReleaseSRWLockExclusive(&queue.Lock);
        if (!job)
            break;
        if (FAILED(initialised)) {
            job->Error = std::make_exception_ptr(EHostError(StatusText(initialised)));
        } else {
            try {
                job->Work();
            } catch (...) {
                job->Error = std::current_exception();
            }
        }
        // What the work holds (references of the host's objects among it)
        // is let go here, on this thread.
        job->Work = nullptr;
        if (job->Done)
            ::SetEvent(job->Done);
    }
    if (SUCCEEDED(initialised))
        ::CoUninitialize();
    return 0;
}

std::shared_ptr<TComLink> TComLink::Make() {
    return std::shared_ptr<TComLink>(new TComLink());
}

TComLink::TComLink() : FQueue(std::make_shared<TQueue>()) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    if (!::GetClassInfoW(instance, kEventWindowClass, &windowClass)) {
        windowClass.lpfnWndProc = &TComLink::EventWindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kEventWindowClass;
        ::RegisterClassW(&windowClass);
    }
    FEventWindow = ::CreateWindowExW(0, kEventWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, instance, nullptr);
    if (FEventWindow)
        ::SetWindowLongPtrW(FEventWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    auto* parameter = new std::shared_ptr<TQueue>(FQueue);
    FThread = ::CreateThread(nullptr, 0, &TComLink::ThreadMain, parameter, 0, &FQueue->ThreadId);
    if (!FThread) {
        delete parameter;
        if (FEventWindow)
            ::DestroyWindow(FEventWindow);
        throw EHostError("The thread for calls to the host could not be started");
    }
}

TComLink::~TComLink() {
    ::AcquireSRWLockExclusive(&FQueue->Lock);
    FQueue->Quit = true;
    ::ReleaseSRWLockExclusive(&FQueue->Lock);
    ::WakeConditionVariable(&FQueue->Ready);
    const bool onCallThread = ::GetCurrentThreadId() == FQueue->ThreadId;
    // A call still waiting for a stopped host is not waited for: the thread
    // ends with the program.
    if (!onCallThread)
        ::WaitForSingleObject(FThread, 2000);
    ::CloseHandle(FThread);
    if (FEventWindow) {
        ::SetWindowLongPtrW(FEventWindow, GWLP_USERDATA, 0);
        if (onCallThread)
            ::PostMessageW(FEventWindow, WM_CLOSE, 0, 0);
        else
            ::DestroyWindow(FEventWindow);
    }
}

std::shared_ptr<TComLink::TJob> TComLink::Post(std::function<void()> work, bool waited) {
    auto job = std::make_shared<TJob>(std::move(work), waited);
    if (waited && !job->Done)
        throw EHostError("Out of system resources while calling the host");
    ::AcquireSRWLockExclusive(&FQueue->Lock);
    FQueue->Jobs.push_back(job);
    ::ReleaseSRWLockExclusive(&FQueue->Lock);
    ::WakeConditionVariable(&FQueue->Ready);
    return job;
}

void TComLink::Later(std::function<void()> work) {
    Post(std::move(work), false);
}

bool TComLink::Answers() {
    // Whatever ran out of time before has been answered when a job queued
    // behind it has run.
    if (!FProbe)
        FProbe = Post([] {}, true);
    constexpr DWORD kProbeMs = 50;
    if (::WaitForSingleObject(FProbe->Done, kProbeMs) != WAIT_OBJECT_0)
        return false;
    FProbe.reset();
    return true;
}

void TComLink::Run(const char* method, std::function<void()> work, int limitMs) {
    if (FWaiting)
        throw FGate.StillAnswering(method);
    if (!FGate.MayCall([this] { return Answers(); }))
        throw FGate.NotCalled(method, FGone ? THostFailure::Gone : THostFailure::NotAnswering);
    const int limit = limitMs > 0 ? limitMs : HostAnswerLimitMs();
    if (FGone) {
        // The host went away: attach afresh when it runs again, and make the
        // objects again there; until then every call fails as the first did.
        std::shared_ptr<TJob> attach;
        if (FReattach) {
            auto attached = std::make_shared<bool>(false);
            attach = Post([attached, reattach = FReattach] { *attached = reattach(); }, true);
            if (!WaitFor(*attach, limit)) {
                FProbe = attach;
                throw FGate.TimedOut(method, limit);
            }
            if (!attach->Error && *attached) {
                FGone.reset();
                ++*FGeneration;
            }
        }
        if (FGone)
            throw EHostError(*FGone);
    }
    const std::shared_ptr<TJob> job = Post(std::move(work), true);
    if (!WaitFor(*job, limit)) {
        FProbe = job;
        throw FGate.TimedOut(method, limit);
    }
    if (!job->Error)
        return;
    try {
        std::rethrow_exception(job->Error);
    } catch (const EHostError& error) {
        if (error.Failure() == THostFailure::Gone)
            FGone = error;
        throw;
    }
}

bool TComLink::WaitFor(const TJob& job, int limitMs) {
    const ULONGLONG start = ::GetTickCount64();
    const ULONGLONG deadline = start + static_cast<ULONGLONG>(limitMs);
    if (!FWait) {
        // Still serves calls into this thread's own apartment meanwhile (an
        // object of this program's that the call reaches).
        HANDLE done = job.Done;
        DWORD index = 0;
        return ::CoWaitForMultipleHandles(0, static_cast<DWORD>(limitMs), 1, &done, &index) ==
                   S_OK ||
               ::WaitForSingleObject(job.Done, 0) == WAIT_OBJECT_0;
    }
    // The window goes on while the call waits, with its Calculate commands
    // off; what it does meanwhile must not call the host (see Run).
    constexpr ULONGLONG kSliceMs = 20;
    bool begun = false;
    bool answered = false;
    FWaiting = true;
    struct TEnd {
        TComLink& Link;
        bool& Begun;
        ~TEnd() {
            Link.FWaiting = false;
            if (Begun && Link.FWait)
                Link.FWait->WaitEnds();
            if (!Link.FHeld.empty() && Link.FEventWindow)
                ::PostMessageW(Link.FEventWindow, kDeliverHeldMessage, 0, 0);
        }
    } end{*this, begun};
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            break;
        const DWORD slice = static_cast<DWORD>(std::min(deadline - now, kSliceMs));
        const DWORD woken =
            ::MsgWaitForMultipleObjectsEx(1, &job.Done, slice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) {
            answered = true;
            break;
        }
        if (::GetTickCount64() - start >= kSliceMs) {
            if (!begun) {
                begun = true;
                FWait->WaitBegins();
            }
            FWait->Waiting();
        }
    }
    return answered || ::WaitForSingleObject(job.Done, 0) == WAIT_OBJECT_0;
}

std::uint32_t TComLink::AddSink(IHostEventSink* sink) {
    const std::uint32_t key = FNextKey++;
    FSinks.emplace(key, sink);
    return key;
}

void TComLink::RemoveSink(std::uint32_t key) {
    FSinks.erase(key);
    std::erase_if(FHeld, [key](const auto& held) { return held.first == key; });
}

void TComLink::Event(WPARAM key, LPARAM dispatchId) {
    const auto held =
        std::make_pair(static_cast<std::uint32_t>(key), static_cast<std::int32_t>(dispatchId));
    if (FWaiting) {
        FHeld.push_back(held);
        return;
    }
    const auto sink = FSinks.find(held.first);
    if (sink != FSinks.end())
        sink->second->Invoke(held.second);
}

void TComLink::DeliverHeld() {
    while (!FWaiting && !FHeld.empty()) {
        const auto [key, id] = FHeld.front();
        FHeld.erase(FHeld.begin());
        const auto sink = FSinks.find(key);
        if (sink != FSinks.end())
            sink->second->Invoke(id);
    }
}

LRESULT CALLBACK TComLink::EventWindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* link = reinterpret_cast<TComLink*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (link && (message == kEventMessage || message == kDeliverHeldMessage)) {
        try {
            if (message == kEventMessage)
                link->Event(wParam, lParam);
            else
                link->DeliverHeld();
        } catch (...) {
            // An event's handler reports its own failures; none may unwind
            // through the system's dispatch.
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace host::com
