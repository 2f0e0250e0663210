// Saves a picture of a top-level window as PNG, for the documentation:
//   velloran-window-snapshot.exe WINDOW_CLASS FILE.png [WAIT_SECONDS]
// It waits for the window (up to WAIT_SECONDS, default 30), then copies what
// the window shows on the screen and encodes it with WIC.
#include <windows.h>

#include <wincodec.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

/// Releases a COM interface when it goes.
template <class T> struct TCom {
    T* Ptr = nullptr;
    ~TCom() {
        if (Ptr)
            Ptr->Release();
    }
    T** operator&() { return &Ptr; }
    T* operator->() const { return Ptr; }
};

bool Check(HRESULT result, const char* step) {
    if (SUCCEEDED(result))
        return true;
    std::fprintf(stderr, "velloran-window-snapshot: %s failed (0x%08lx)\n", step,
                 static_cast<unsigned long>(result));
    return false;
}

std::wstring Wide(const std::string& text) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 1)), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: velloran-window-snapshot WINDOW_CLASS FILE.png [WAIT_SECONDS]\n");
        return 2;
    }
    const int wait = argc > 3 ? std::atoi(argv[3]) : 30;
    HWND window = nullptr;
    for (int i = 0; i < wait * 10 && !window; ++i) {
        window = ::FindWindowA(argv[1], nullptr);
        if (!window)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!window) {
        std::fprintf(stderr, "velloran-window-snapshot: no window of class %s\n", argv[1]);
        return 1;
    }
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    RECT r{};
    ::GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;

    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    bool ok = false;
    if (Check(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx")) {
        {
            TCom<IWICImagingFactory> factory;
            TCom<IWICStream> stream;
            TCom<IWICBitmapEncoder> encoder;
            TCom<IWICBitmapFrameEncode> frame;
            WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
            ok = Check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IWICImagingFactory,
                                          reinterpret_cast<void**>(&factory)),
                       "the imaging factory") &&
                 Check(factory->CreateStream(&stream), "CreateStream") &&
                 Check(stream->InitializeFromFilename(Wide(argv[2]).c_str(), GENERIC_WRITE),
                       "opening the file") &&
                 Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder),
                       "the PNG encoder") &&
                 Check(encoder->Initialize(stream.Ptr, WICBitmapEncoderNoCache), "Initialize") &&
                 Check(encoder->CreateNewFrame(&frame, nullptr), "CreateNewFrame") &&
                 Check(frame->Initialize(nullptr), "the frame") &&
                 Check(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)),
                       "SetSize") &&
                 Check(frame->SetPixelFormat(&format), "SetPixelFormat") &&
                 Check(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4,
                                          static_cast<UINT>(width * height * 4),
                                          static_cast<BYTE*>(bits)),
                       "WritePixels") &&
                 Check(frame->Commit(), "Commit") && Check(encoder->Commit(), "writing the file");
        }
        ::CoUninitialize();
    }
    ::DeleteObject(bitmap);
    return ok ? 0 : 1;
}
