#include "support/win32/PngFileWin32.h"

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <cstdio>
#include <stdexcept>

namespace support {

namespace {

using Microsoft::WRL::ComPtr;

std::string Narrow(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), n, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

/// Throws with the file, the step and the status when the step failed.
void Check(HRESULT status, const std::wstring& path, const char* step) {
    if (SUCCEEDED(status))
        return;
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(status));
    throw std::runtime_error(Narrow(path) + ": " + step + " failed (" + code + ")");
}

ComPtr<IWICImagingFactory> Factory(const std::wstring& path) {
    ComPtr<IWICImagingFactory> factory;
    Check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(&factory)),
          path, "creating the imaging factory");
    return factory;
}

} // namespace

void WritePngFile(const std::wstring& path, unsigned width, unsigned height,
                  const std::uint32_t* pixels) {
    const std::wstring part = path + L".part";
    {
        const ComPtr<IWICImagingFactory> factory = Factory(path);
        ComPtr<IWICStream> stream;
        ComPtr<IWICBitmapEncoder> encoder;
        ComPtr<IWICBitmapFrameEncode> frame;
        WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
        try {
            Check(factory->CreateStream(&stream), path, "creating a stream");
            Check(stream->InitializeFromFilename(part.c_str(), GENERIC_WRITE), path,
                  "opening the file");
            Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), path,
                  "creating the PNG encoder");
            Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), path,
                  "starting the encoder");
            Check(encoder->CreateNewFrame(&frame, nullptr), path, "creating the frame");
            Check(frame->Initialize(nullptr), path, "starting the frame");
            Check(frame->SetSize(width, height), path, "setting the size");
            Check(frame->SetPixelFormat(&format), path, "setting the pixel format");
            const UINT stride = width * 4;
            Check(frame->WritePixels(height, stride, stride * height,
                                     reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(pixels))),
                  path, "writing the pixels");
            Check(frame->Commit(), path, "finishing the frame");
            Check(encoder->Commit(), path, "writing the file");
        } catch (...) {
            frame.Reset();
            encoder.Reset();
            stream.Reset();
            ::DeleteFileW(part.c_str());
            throw;
        }
    } // the stream closes the file here
    if (!::MoveFileExW(part.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const HRESULT status = HRESULT_FROM_WIN32(::GetLastError());
        ::DeleteFileW(part.c_str());
        Check(status, path, "putting the file in place");
    }
}

TPixels ReadPngFile(const std::wstring& path) {
    const ComPtr<IWICImagingFactory> factory = Factory(path);
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    Check(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                             WICDecodeMetadataCacheOnDemand, &decoder),
          path, "opening the picture");
    Check(decoder->GetFrame(0, &frame), path, "reading the frame");
    Check(factory->CreateFormatConverter(&converter), path, "creating a converter");
    Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                nullptr, 0.0, WICBitmapPaletteTypeCustom),
          path, "converting the pixels");
    TPixels pixels;
    Check(converter->GetSize(&pixels.width, &pixels.height), path, "reading the size");
    pixels.data.resize(std::size_t{pixels.width} * pixels.height);
    Check(converter->CopyPixels(nullptr, pixels.width * 4,
                                static_cast<UINT>(pixels.data.size() * 4),
                                reinterpret_cast<BYTE*>(pixels.data.data())),
          path, "reading the pixels");
    return pixels;
}

} // namespace support
