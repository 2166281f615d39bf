// The module's entry points as a COM host calls them: class objects for the
// two classes of the class table and nothing else, objects made through the
// class factory, aggregation, and when the module may be unloaded.
#include "filter/ISourceInfo.h"
#include "framework/ComPtr.h"
#include "tests/filter/ModuleHost.h"
#include "tests/support/ComTest.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// An aggregating owner that counts the references its inner object passes on to it.
class CountingOuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!IsEqualGUID(iid, IID_IUnknown)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++references); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--references); }
    LONG references = 1;
};

class ModuleEntryTest : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        ASSERT_TRUE(module.Loaded()) << "cannot load " << module.Path();
        ASSERT_TRUE(module.getClassObject && module.canUnloadNow && module.registerServer && module.unregisterServer)
            << "an entry point is not exported under its plain name";
    }
    ComPtr<IClassFactory> Factory(REFCLSID clsid)
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, module.getClassObject(clsid, IID_IClassFactory, factory.PutVoid()));
        return factory;
    }

    ModuleHost& module = ModuleHost::Get();
};

TEST_F(ModuleEntryTest, ServesTheFilterAndThePageAndNoOtherClass)
{
    ComPtr<IUnknown> filterFactory;
    ASSERT_EQ(S_OK, module.getClassObject(CLSID_MovieSourceFilter, IID_IUnknown, filterFactory.PutVoid()));
    ComPtr<IClassFactory> asFactory;
    EXPECT_EQ(S_OK, filterFactory.As(IID_IClassFactory, &asFactory));
    ComPtr<IUnknown> other;
    EXPECT_EQ(E_NOINTERFACE, filterFactory.As(IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other.Get());

    // The page's factory makes a page that finds its title among the
    // module's own strings: the module learned its instance at process attach.
    ComPtr<IClassFactory> pageFactory = Factory(CLSID_SourceInfoPage);
    ASSERT_TRUE(pageFactory);
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(S_OK, pageFactory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid()));
    PROPPAGEINFO info = {};
    info.cb = sizeof info;
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    ASSERT_NE(nullptr, info.pszTitle);
    EXPECT_EQ(std::wstring(L"Source Information"), std::wstring(info.pszTitle));
    EXPECT_GT(info.size.cx, 0);
    CoTaskMemFree(info.pszTitle);
    CoTaskMemFree(info.pszDocString);
    CoTaskMemFree(info.pszHelpFile);

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, module.getClassObject(CLSID_FilterMapper2, IID_IClassFactory, &none));
    EXPECT_EQ(nullptr, none);
    // The interface is looked at first: a wrong one fails for a known and an unknown class alike.
    EXPECT_EQ(E_NOINTERFACE, module.getClassObject(CLSID_MovieSourceFilter, IID_IDispatch, &none));
    EXPECT_EQ(E_NOINTERFACE, module.getClassObject(CLSID_FilterMapper2, IID_IDispatch, &none));
    EXPECT_EQ(E_POINTER, module.getClassObject(CLSID_MovieSourceFilter, IID_IClassFactory, nullptr));
}

TEST_F(ModuleEntryTest, TheFactoryMakesFiltersThatAnswerTheirInterfaces)
{
    ComPtr<IClassFactory> factory = Factory(CLSID_MovieSourceFilter);
    ASSERT_TRUE(factory);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr));

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()));
    CLSID reported = GUID_NULL;
    EXPECT_EQ(S_OK, filter->GetClassID(&reported));
    EXPECT_TRUE(IsEqualGUID(CLSID_MovieSourceFilter, reported));
    ComPtr<ISourceInfo> info;
    EXPECT_EQ(S_OK, filter.As(IID_ISourceInfo, &info));

    // A lookup that fails destroys the new object again and hands out nothing.
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IMediaSeeking, &none));
    EXPECT_EQ(nullptr, none);
}

TEST_F(ModuleEntryTest, AggregationOnlyThroughIUnknown)
{
    ComPtr<IClassFactory> factory = Factory(CLSID_MovieSourceFilter);
    ASSERT_TRUE(factory);
    CountingOuter outer;
    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(&outer, IID_IBaseFilter, &refused));
    EXPECT_EQ(nullptr, refused);
    EXPECT_EQ(1, outer.references);

    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    ASSERT_NE(nullptr, inner);
    EXPECT_NE(static_cast<IUnknown*>(&outer), inner) << "the owner gets the object's own unknown";
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)));
    EXPECT_EQ(2, outer.references) << "the aggregated filter counts on its owner";
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity) << "the filter's identity is its owner's";
    identity->Release();
    filter->Release();
    EXPECT_EQ(1, outer.references);
    EXPECT_EQ(S_FALSE, module.canUnloadNow()) << "the inner filter lives";
    EXPECT_EQ(0u, inner->Release());
}

TEST_F(ModuleEntryTest, StaysLoadedWhileAFactoryLivesOrTheServerIsLocked)
{
    EXPECT_EQ(S_OK, module.canUnloadNow()) << "an object of an earlier test is still alive";
    {
        ComPtr<IClassFactory> factory = Factory(CLSID_MovieSourceFilter);
        ASSERT_TRUE(factory);
        EXPECT_EQ(S_FALSE, module.canUnloadNow()) << "a factory lives";
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    }
    EXPECT_EQ(S_FALSE, module.canUnloadNow()) << "the server is locked";
    ComPtr<IClassFactory> factory = Factory(CLSID_SourceInfoPage);
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, module.canUnloadNow()) << "a factory lives";
    factory.Reset();
    EXPECT_EQ(S_OK, module.canUnloadNow());
}

TEST_F(ModuleEntryTest, AFactorySharedBetweenThreadsCountsEveryReferenceAndLock)
{
    // The classes are registered "Both": a host may hand one factory to several
    // threads. Plain counts lose updates here, and ThreadSanitizer reports them.
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, module.getClassObject(CLSID_SourceInfoPage, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    std::atomic<int> waiting{4};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([factory, &waiting] {
            // All start together, so that their counting overlaps.
            --waiting;
            while (waiting > 0)
                std::this_thread::yield();
            for (int i = 0; i < 20000; ++i) {
                factory->AddRef();
                factory->LockServer(TRUE);
                factory->LockServer(FALSE);
                factory->Release();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0u, factory->Release()) << "references were lost or counted twice";
    EXPECT_EQ(S_OK, module.canUnloadNow()) << "a lock was lost or counted twice";
}

} // namespace
