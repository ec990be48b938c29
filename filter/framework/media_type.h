// AM_MEDIA_TYPE helpers: an owning wrapper that frees the format block and
// releases pUnk exactly once, plus copy, free, create, delete and compare.
#pragma once

#include "filter/framework/directshow.h"

// Frees the format block (CoTaskMemFree) and releases pUnk, leaving both empty.
// The GUIDs and the other fields stay as they are.
void FreeMediaTypeFields(AM_MEDIA_TYPE &type);
// Deep copy into `target`, whose own fields are freed first. E_OUTOFMEMORY when
// the format block cannot be allocated (target is then empty).
HRESULT CopyMediaTypeFields(AM_MEDIA_TYPE &target, const AM_MEDIA_TYPE &source);
// A zeroed AM_MEDIA_TYPE from the COM task allocator (nullptr when out of memory);
// DeleteMediaType frees such an object with its fields, as enumerator clients do.
AM_MEDIA_TYPE *CreateMediaType();
// A task-allocated deep copy of `source`, or nullptr when out of memory.
AM_MEDIA_TYPE *CreateMediaTypeCopy(const AM_MEDIA_TYPE &source);
void DeleteMediaType(AM_MEDIA_TYPE *type);
// Replaces the format block with `size` zeroed bytes from the task allocator and
// sets cbFormat; nullptr (block empty) when out of memory.
BYTE *AllocateFormatBlock(AM_MEDIA_TYPE &type, ULONG size);

// Same major type, subtype, format type and format bytes.
bool MediaTypesEqual(const AM_MEDIA_TYPE &a, const AM_MEDIA_TYPE &b);
// A type that leaves the major type, subtype or format type open (GUID_NULL).
bool MediaTypeIsPartial(const AM_MEDIA_TYPE &type);
// `candidate` fits `pattern`, where GUID_NULL in pattern matches anything and a
// pattern with a format type and a format block needs the same block.
bool MediaTypeMatches(const AM_MEDIA_TYPE &candidate, const AM_MEDIA_TYPE &pattern);

// An AM_MEDIA_TYPE that owns its format block and pUnk. Starts zeroed. Copying
// can run out of memory: use assign() where that must be reported.
class MediaType : public AM_MEDIA_TYPE {
public:
    MediaType();
    MediaType(const MediaType &other);
    explicit MediaType(const AM_MEDIA_TYPE &other);
    MediaType &operator=(const MediaType &other);
    ~MediaType();

    HRESULT assign(const AM_MEDIA_TYPE &other);
    // Frees the fields and zeroes the whole type.
    void clear();
    bool empty() const;
    // The format block as T when it is at least sizeof(T) bytes, else nullptr.
    template <typename T> T *formatAs() const {
        return (pbFormat != nullptr && cbFormat >= sizeof(T)) ? reinterpret_cast<T *>(pbFormat) : nullptr;
    }
};
