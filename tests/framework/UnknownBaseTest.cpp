#include "framework/UnknownBase.h"

#include <gtest/gtest.h>

namespace {

// {6B2C0F5E-1D1A-4C33-9E4F-2A7B9D1E0C11}: an interface of the test's own.
const GUID IID_ITestThing = {0x6b2c0f5e, 0x1d1a, 0x4c33, {0x9e, 0x4f, 0x2a, 0x7b, 0x9d, 0x1e, 0x0c, 0x11}};

struct ITestThing : IUnknown {
    virtual int STDMETHODCALLTYPE Value() = 0;
};

class Thing : public UnknownBase, public ITestThing {
public:
    Thing(IUnknown* owner, bool* destroyed) : UnknownBase("Thing", owner), destroyed(destroyed) {}
    ~Thing() override
    {
        if (destroyed)
            *destroyed = true;
    }
    DECLARE_OWNER_UNKNOWN
    HRESULT InnerQueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualGUID(iid, IID_ITestThing))
            return ReturnInterface(static_cast<ITestThing*>(this), out);
        return UnknownBase::InnerQueryInterface(iid, out);
    }
    int STDMETHODCALLTYPE Value() override { return 42; }

    // Releasing ourselves again from the destructor path must not destroy twice.
    bool releaseInDestructor = false;

private:
    bool* destroyed;
};

// An outer object that aggregates a Thing and answers every interface itself.
class Outer : public IUnknown {
public:
    Outer() : inner(new Thing(this, nullptr)) { inner->InnerUnknown()->AddRef(); }
    ~Outer() { inner->InnerUnknown()->Release(); }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        ++queries;
        if (IsEqualGUID(iid, IID_IUnknown))
            return ReturnInterface(this, out);
        if (IsEqualGUID(iid, IID_ITestThing))
            return inner->InnerQueryInterface(iid, out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
    STDMETHODIMP_(ULONG) Release() override { return --count; }

    Thing* inner;
    ULONG count = 1;
    int queries = 0;
};

TEST(UnknownBase, CountsFromZeroAndDestroysAtLastRelease)
{
    LONG before = LiveObjectCount;
    bool destroyed = false;
    auto* thing = new Thing(nullptr, &destroyed);
    EXPECT_EQ(before + 1, LiveObjectCount);
    EXPECT_EQ(1u, thing->AddRef());
    EXPECT_EQ(2u, thing->AddRef());
    EXPECT_EQ(1u, thing->Release());
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(0u, thing->Release());
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(before, LiveObjectCount);
}

TEST(UnknownBase, InterfacesForwardToTheInnerUnknownWhenNotAggregated)
{
    auto* thing = new Thing(nullptr, nullptr);
    EXPECT_EQ(thing->InnerUnknown(), thing->Owner());
    ITestThing* asThing = nullptr;
    ASSERT_EQ(S_OK, thing->QueryInterface(IID_ITestThing, reinterpret_cast<void**>(&asThing)));
    EXPECT_EQ(42, asThing->Value());
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, asThing->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(thing->InnerUnknown(), unknown);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, thing->QueryInterface(IID_IDispatch, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, thing->InnerQueryInterface(IID_IUnknown, nullptr));
    unknown->Release();
    EXPECT_EQ(0u, asThing->Release());
}

TEST(UnknownBase, AggregatedInterfacesAnswerWithTheOuterObject)
{
    LONG before = LiveObjectCount;
    {
        Outer outer;
        ITestThing* asThing = nullptr;
        ASSERT_EQ(S_OK, outer.QueryInterface(IID_ITestThing, reinterpret_cast<void**>(&asThing)));
        EXPECT_EQ(2u, outer.count) << "the reference lands on the outer object";
        IUnknown* unknown = nullptr;
        ASSERT_EQ(S_OK, asThing->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
        EXPECT_EQ(static_cast<IUnknown*>(&outer), unknown);
        EXPECT_EQ(2, outer.queries);
        // The inner unknown still answers for itself, not for the owner.
        IUnknown* innerUnknown = nullptr;
        ASSERT_EQ(S_OK, outer.inner->InnerQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerUnknown)));
        EXPECT_EQ(outer.inner->InnerUnknown(), innerUnknown);
        innerUnknown->Release();
        unknown->Release();
        asThing->Release();
        EXPECT_EQ(1u, outer.count);
    }
    EXPECT_EQ(before, LiveObjectCount);
}

class SelfReleasing : public UnknownBase {
public:
    explicit SelfReleasing(int* deletions) : UnknownBase("SelfReleasing", nullptr), deletions(deletions) {}
    ~SelfReleasing() override
    {
        ++*deletions;
        // A member releasing its back reference while the object goes away.
        InnerAddRef();
        InnerRelease();
    }
    int* deletions;
};

TEST(UnknownBase, ReleaseDuringDestructionDoesNotDestroyAgain)
{
    int deletions = 0;
    auto* object = new SelfReleasing(&deletions);
    object->InnerAddRef();
    EXPECT_EQ(0u, object->InnerRelease());
    EXPECT_EQ(1, deletions);
}

TEST(UnknownBase, ReturnInterfaceChecksTheOutPointerAndCounts)
{
    auto* thing = new Thing(nullptr, nullptr);
    EXPECT_EQ(E_POINTER, ReturnInterface(thing->InnerUnknown(), nullptr));
    void* out = nullptr;
    EXPECT_EQ(S_OK, ReturnInterface(thing->InnerUnknown(), &out));
    EXPECT_EQ(thing->InnerUnknown(), out);
    EXPECT_EQ(2u, thing->AddRef());
    thing->Release();
    EXPECT_EQ(0u, thing->Release());
}

} // namespace
