// IEnumPins and IEnumMediaTypes: counts, short reads, Skip, Reset, Clone and
// the out-of-sync report after the pins or the offered types change.
#include <gtest/gtest.h>

#include "tests/framework/framework_test_support.h"
#include "tests/framework/test_source.h"

namespace {

class EnumeratorTest : public SourceFilterTest {
protected:
    static void FreeTypes(AM_MEDIA_TYPE **types, ULONG count) {
        for (ULONG i = 0; i < count; ++i)
            DeleteMediaType(types[i]);
    }
};

TEST_F(EnumeratorTest, PinEnumeratorNextSkipResetClone) {
    IEnumPins *pins = nullptr;
    EXPECT_EQ(filter->EnumPins(nullptr), E_POINTER);
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    EXPECT_EQ(RefCount(filter), 2u); // the enumerator holds the filter

    IPin *got[3] = {};
    ULONG fetched = 99;
    EXPECT_EQ(pins->Next(2, got, nullptr), E_INVALIDARG);
    EXPECT_EQ(pins->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(pins->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(got[0], static_cast<IPin *>(source->pin));
    got[0]->Release();
    EXPECT_EQ(pins->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(1), S_OK);
    EXPECT_EQ(pins->Next(1, got, nullptr), S_FALSE);
    EXPECT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(2), S_FALSE);

    EXPECT_EQ(pins->Reset(), S_OK);
    IEnumPins *copy = nullptr;
    EXPECT_EQ(pins->Clone(nullptr), E_POINTER);
    ASSERT_EQ(pins->Clone(&copy), S_OK);
    EXPECT_EQ(pins->Next(1, got, nullptr), S_OK);
    got[0]->Release();
    // The copy kept the original's position at the time of the clone.
    EXPECT_EQ(copy->Next(1, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    got[0]->Release();
    copy->Release();
    EXPECT_EQ(pins->Release(), 0u);
    EXPECT_EQ(RefCount(filter), 1u);
}

TEST_F(EnumeratorTest, PinEnumeratorNoticesAddedAndRemovedPins) {
    IEnumPins *pins = nullptr;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    HRESULT hr = S_OK;
    auto *second = new TestSourcePin(&hr, source);
    ASSERT_EQ(hr, S_OK);
    IPin *got[2] = {};
    ULONG fetched = 7;
    EXPECT_EQ(pins->Next(1, got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(pins->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    IEnumPins *copy = nullptr;
    EXPECT_EQ(pins->Clone(&copy), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(pins->Reset(), S_OK);
    ASSERT_EQ(pins->Next(2, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(got[1], static_cast<IPin *>(second));
    got[0]->Release();
    got[1]->Release();

    // The second pin answers to "2"; deleting it takes it out of the filter.
    IPin *found = nullptr;
    ASSERT_EQ(filter->FindPin(L"2", &found), S_OK);
    EXPECT_EQ(found, static_cast<IPin *>(second));
    found->Release();
    EXPECT_EQ(source->FindPinNumber(L"2"), 1);
    delete second;
    EXPECT_EQ(source->GetPinCount(), 1);
    EXPECT_EQ(filter->FindPin(L"2", &found), VFW_E_NOT_FOUND);
    EXPECT_EQ(pins->Next(1, got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    pins->Release();
}

TEST_F(EnumeratorTest, MediaTypeEnumeratorWalksTheOfferedPositions) {
    source->pin->typeCount = 3;
    IEnumMediaTypes *types = nullptr;
    EXPECT_EQ(source->pin->EnumMediaTypes(nullptr), E_POINTER);
    ASSERT_EQ(source->pin->EnumMediaTypes(&types), S_OK);

    AM_MEDIA_TYPE *got[5] = {};
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(5, got, nullptr), E_INVALIDARG);
    ASSERT_EQ(types->Next(5, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    MediaType expected;
    ASSERT_EQ(MakeTestMediaType(expected), S_OK);
    for (ULONG i = 0; i < fetched; ++i) {
        ASSERT_NE(got[i], nullptr);
        EXPECT_TRUE(MediaTypesEqual(*got[i], expected));
        EXPECT_EQ(got[i]->lSampleSize, static_cast<ULONG>(kTestFrameBytes));
    }
    FreeTypes(got, fetched);
    EXPECT_EQ(types->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(2), S_OK);
    ASSERT_EQ(types->Next(2, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    FreeTypes(got, fetched);
    EXPECT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(4), S_FALSE);
    EXPECT_EQ(types->Next(1, got, nullptr), S_FALSE);

    EXPECT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(1), S_OK);
    IEnumMediaTypes *copy = nullptr;
    ASSERT_EQ(types->Clone(&copy), S_OK);
    ASSERT_EQ(copy->Next(3, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    FreeTypes(got, fetched);
    copy->Release();
    types->Release();
}

TEST_F(EnumeratorTest, MediaTypeEnumeratorNoticesChangedTypes) {
    IEnumMediaTypes *types = nullptr;
    ASSERT_EQ(source->pin->EnumMediaTypes(&types), S_OK);
    source->pin->IncrementTypeVersion();
    AM_MEDIA_TYPE *got[1] = {};
    EXPECT_EQ(types->Next(1, got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(types->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(types->Reset(), S_OK);
    ASSERT_EQ(types->Next(1, got, nullptr), S_OK);
    DeleteMediaType(got[0]);
    types->Release();
}

TEST_F(EnumeratorTest, NoTypesOffered) {
    source->pin->typeCount = 0;
    IEnumMediaTypes *types = nullptr;
    ASSERT_EQ(source->pin->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE *got[1] = {reinterpret_cast<AM_MEDIA_TYPE *>(Garbage())};
    ULONG fetched = 5;
    EXPECT_EQ(types->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(types->Skip(1), S_FALSE);
    types->Release();
}

TEST(MediaTypeHelpers, CopyCompareAndMatch) {
    MediaType type;
    ASSERT_EQ(MakeTestMediaType(type), S_OK);
    MediaType copy(type);
    EXPECT_NE(copy.pbFormat, type.pbFormat);
    EXPECT_TRUE(MediaTypesEqual(copy, type));
    copy.formatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth = 64;
    EXPECT_FALSE(MediaTypesEqual(copy, type));
    struct Larger {
        BYTE bytes[sizeof(VIDEOINFOHEADER) + 1];
    };
    EXPECT_EQ(copy.formatAs<Larger>(), nullptr); // block too small for that

    AM_MEDIA_TYPE pattern{};
    pattern.majortype = MEDIATYPE_Video;
    EXPECT_TRUE(MediaTypeIsPartial(pattern));
    EXPECT_FALSE(MediaTypeIsPartial(type));
    EXPECT_TRUE(MediaTypeMatches(type, pattern));
    pattern.subtype = MEDIASUBTYPE_RGB24;
    EXPECT_FALSE(MediaTypeMatches(type, pattern));

    AM_MEDIA_TYPE *heap = CreateMediaTypeCopy(type);
    ASSERT_NE(heap, nullptr);
    EXPECT_TRUE(MediaTypesEqual(*heap, type));
    DeleteMediaType(heap);
    copy.clear();
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(copy.cbFormat, 0u);
}

} // namespace
