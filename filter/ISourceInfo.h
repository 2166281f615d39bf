// The filter's private interface through which its property page reads the
// track count and the track information text.
#pragma once

#include "platform/Platform.h"

#include <cstdint>

// {B2DE541C-CCCD-4C82-9D43-A5623D7C892F}
inline constexpr GUID IID_ISourceInfo = {0xb2de541c, 0xcccd, 0x4c82, {0x9d, 0x43, 0xa5, 0x62, 0x3d, 0x7c, 0x89, 0x2f}};

struct ISourceInfo : public IUnknown {
    // S_FALSE: the page may not load another file.
    virtual HRESULT STDMETHODCALLTYPE AllowsFileChange() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTrackCount(int32_t* out) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedFirst(uint32_t value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedSecond(uint32_t value) = 0;
    // The filter's own text, not a copy: the caller must not free it.
    virtual HRESULT STDMETHODCALLTYPE GetInfoText(char** out) = 0;
};

// {94A13AB6-8888-44FA-BF04-CE26EFF84610}
inline constexpr GUID CLSID_MovieSourceFilter = {
    0x94a13ab6, 0x8888, 0x44fa, {0xbf, 0x04, 0xce, 0x26, 0xef, 0xf8, 0x46, 0x10}};
// {F89D1207-3373-443E-8C4B-C78AFE3E2BA1}
inline constexpr GUID CLSID_SourceInfoPage = {
    0xf89d1207, 0x3373, 0x443e, {0x8c, 0x4b, 0xc7, 0x8a, 0xfe, 0x3e, 0x2b, 0xa1}};
