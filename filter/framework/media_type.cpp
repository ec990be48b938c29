// AM_MEDIA_TYPE copy, free, create, compare and the owning MediaType.
#include "filter/framework/media_type.h"

#include <cstring>

void FreeMediaTypeFields(AM_MEDIA_TYPE &type) {
    if (type.pbFormat != nullptr)
        CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk != nullptr)
        type.pUnk->Release();
    type.pUnk = nullptr;
}

HRESULT CopyMediaTypeFields(AM_MEDIA_TYPE &target, const AM_MEDIA_TYPE &source) {
    if (&target == &source)
        return S_OK;
    FreeMediaTypeFields(target);
    target = source;
    target.pbFormat = nullptr;
    target.cbFormat = 0;
    if (source.cbFormat != 0 && source.pbFormat != nullptr) {
        target.pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(source.cbFormat));
        if (target.pbFormat == nullptr) {
            target.pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target.pbFormat, source.pbFormat, source.cbFormat);
        target.cbFormat = source.cbFormat;
    }
    if (target.pUnk != nullptr)
        target.pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE *CreateMediaType() {
    auto *type = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type != nullptr)
        std::memset(type, 0, sizeof *type);
    return type;
}

AM_MEDIA_TYPE *CreateMediaTypeCopy(const AM_MEDIA_TYPE &source) {
    AM_MEDIA_TYPE *type = CreateMediaType();
    if (type == nullptr)
        return nullptr;
    if (FAILED(CopyMediaTypeFields(*type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

void DeleteMediaType(AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return;
    FreeMediaTypeFields(*type);
    CoTaskMemFree(type);
}

BYTE *AllocateFormatBlock(AM_MEDIA_TYPE &type, ULONG size) {
    if (type.pbFormat != nullptr)
        CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (size == 0)
        return nullptr;
    type.pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(size));
    if (type.pbFormat == nullptr)
        return nullptr;
    std::memset(type.pbFormat, 0, size);
    type.cbFormat = size;
    return type.pbFormat;
}

bool MediaTypesEqual(const AM_MEDIA_TYPE &a, const AM_MEDIA_TYPE &b) {
    if (!IsEqualGUID(a.majortype, b.majortype) || !IsEqualGUID(a.subtype, b.subtype) ||
        !IsEqualGUID(a.formattype, b.formattype) || a.cbFormat != b.cbFormat)
        return false;
    if (a.cbFormat == 0)
        return true;
    if (a.pbFormat == nullptr || b.pbFormat == nullptr)
        return a.pbFormat == b.pbFormat;
    return std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

bool MediaTypeIsPartial(const AM_MEDIA_TYPE &type) {
    return IsEqualGUID(type.majortype, GUID_NULL) || IsEqualGUID(type.subtype, GUID_NULL) ||
           IsEqualGUID(type.formattype, GUID_NULL);
}

bool MediaTypeMatches(const AM_MEDIA_TYPE &candidate, const AM_MEDIA_TYPE &pattern) {
    const auto fits = [](const GUID &value, const GUID &wanted) {
        return IsEqualGUID(wanted, GUID_NULL) || IsEqualGUID(value, wanted);
    };
    if (!fits(candidate.majortype, pattern.majortype) || !fits(candidate.subtype, pattern.subtype) ||
        !fits(candidate.formattype, pattern.formattype))
        return false;
    if (IsEqualGUID(pattern.formattype, GUID_NULL) || pattern.cbFormat == 0 || pattern.pbFormat == nullptr)
        return true;
    return candidate.cbFormat == pattern.cbFormat && candidate.pbFormat != nullptr &&
           std::memcmp(candidate.pbFormat, pattern.pbFormat, pattern.cbFormat) == 0;
}

MediaType::MediaType() : AM_MEDIA_TYPE{} {}

MediaType::MediaType(const MediaType &other) : AM_MEDIA_TYPE{} {
    CopyMediaTypeFields(*this, other);
}

MediaType::MediaType(const AM_MEDIA_TYPE &other) : AM_MEDIA_TYPE{} {
    CopyMediaTypeFields(*this, other);
}

MediaType &MediaType::operator=(const MediaType &other) {
    CopyMediaTypeFields(*this, other);
    return *this;
}

MediaType::~MediaType() {
    FreeMediaTypeFields(*this);
}

HRESULT MediaType::assign(const AM_MEDIA_TYPE &other) {
    return CopyMediaTypeFields(*this, other);
}

void MediaType::clear() {
    FreeMediaTypeFields(*this);
    AM_MEDIA_TYPE &fields = *this;
    fields = AM_MEDIA_TYPE{};
}

bool MediaType::empty() const {
    return IsEqualGUID(majortype, GUID_NULL) && pbFormat == nullptr;
}
