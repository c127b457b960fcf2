// The control module as a separately built host sees it: this program
// includes only the public header, loads the built module with dlopen and
// reaches everything through DllGetClassObject and the interface tables.
#include <palvex_com.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#ifndef PALVEX_MODULE_PATH
#error "PALVEX_MODULE_PATH must name the built module"
#endif

namespace {

// --- The module and references --------------------------------------------

struct Module {
    void* handle = nullptr;
    PFN_DLLGETCLASSOBJECT getClassObject = nullptr;
    PFN_DLLCANUNLOADNOW canUnloadNow = nullptr;
    PFN_PALVEXSYSFREESTRING freeString = nullptr;
    BSTR (*allocString)(const OLECHAR*, unsigned) = nullptr;
};

const Module& TheModule() {
    static const Module m = [] {
        Module loaded;
        loaded.handle = dlopen(PALVEX_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (loaded.handle == nullptr) return loaded;
        loaded.getClassObject =
            reinterpret_cast<PFN_DLLGETCLASSOBJECT>(dlsym(loaded.handle, "DllGetClassObject"));
        loaded.canUnloadNow =
            reinterpret_cast<PFN_DLLCANUNLOADNOW>(dlsym(loaded.handle, "DllCanUnloadNow"));
        loaded.freeString =
            reinterpret_cast<PFN_PALVEXSYSFREESTRING>(dlsym(loaded.handle, "PalvexSysFreeString"));
        loaded.allocString = reinterpret_cast<BSTR (*)(const OLECHAR*, unsigned)>(
            dlsym(loaded.handle, "PalvexSysAllocStringLen"));
        return loaded;
    }();
    return m;
}

// One reference to an interface, released when it goes.
template <class I> class Ref {
  public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }
    void Reset() {
        if (m_p != nullptr) m_p->Release();
        m_p = nullptr;
    }
    I* operator->() const { return m_p; }
    I* get() const { return m_p; }
    void** out() {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }

  private:
    I* m_p = nullptr;
};

template <class I> HRESULT CreateObject(const CLSID& clsid, const IID& iid, Ref<I>& out) {
    Ref<IClassFactory> factory;
    HRESULT hr = TheModule().getClassObject(clsid, IID_IClassFactory, factory.out());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, out.out());
}

template <class I, class J> HRESULT QueryFrom(const Ref<J>& from, const IID& iid, Ref<I>& out) {
    return from->QueryInterface(iid, out.out());
}

std::string Narrow(BSTR s) {
    std::string out;
    for (; s != nullptr && *s != 0; ++s)
        out += static_cast<char>(*s);
    return out;
}

// --- Calls through IDispatch ------------------------------------------------

VARIANT Short(std::int16_t v) {
    VARIANT a{};
    a.vt = VT_I2;
    a.iVal = v;
    return a;
}

VARIANT Address(const void* p) {
    VARIANT a{};
    a.vt = VT_ADDR;
    if (VT_ADDR == VT_I8)
        a.llVal = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(p));
    else
        a.lVal = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(p));
    return a;
}

VARIANT ShortRef(std::int16_t* p) {
    VARIANT a{};
    a.vt = VT_I2 | VT_BYREF;
    a.piVal = p;
    return a;
}

struct Outcome {
    HRESULT hr = E_FAIL;
    VARIANT result{};
    unsigned argErr = 999;
};

// Invokes with the arguments given in call order.
Outcome Call(IDispatch* d, DISPID id, std::initializer_list<VARIANT> args) {
    std::vector<VARIANT> packed(args.begin(), args.end());
    std::reverse(packed.begin(), packed.end());
    DISPPARAMS params{packed.data(), nullptr, static_cast<unsigned>(packed.size()), 0};
    Outcome o;
    o.result.vt = 0xFFFF; // overwritten by every call that runs
    o.hr = d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &o.result, nullptr,
                             &o.argErr);
    return o;
}

DISPID IdOf(IDispatch* d, const char16_t* name) {
    std::u16string text = name;
    OLECHAR* names[] = {text.data()};
    DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    return id;
}

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(TheModule().handle, nullptr) << dlerror();
        ASSERT_NE(TheModule().getClassObject, nullptr);
        ASSERT_EQ(CreateObject(CLSID_Palvex, IID_IDispatch, control), S_OK);
    }
    IDispatch* d() const { return control.get(); }
    std::int16_t ShortResult(DISPID id) {
        const Outcome o = Call(d(), id, {});
        EXPECT_EQ(o.hr, S_OK);
        EXPECT_EQ(o.result.vt, VT_I2);
        return o.result.iVal;
    }

    Ref<IDispatch> control;
};

constexpr DISPID kSetLedProperty = 4;
constexpr DISPID kGetTotalPageNum = 5;
constexpr DISPID kGetSendStepNum = 6;

// --- Module and factories ---------------------------------------------------

TEST(ModuleEntryPoints, RefuseAClassTheModuleDoesNotHave) {
    ASSERT_NE(TheModule().getClassObject, nullptr) << dlerror();
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(TheModule().getClassObject(DIID__DPalvex, IID_IClassFactory, &p),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
}

TEST(ModuleEntryPoints, ReportTheModuleInUseWhileAnObjectAFactoryOrALockLives) {
    ASSERT_NE(TheModule().canUnloadNow, nullptr);
    EXPECT_EQ(TheModule().canUnloadNow(), S_OK);
    {
        Ref<IDispatch> control;
        ASSERT_EQ(CreateObject(CLSID_Palvex, IID_IDispatch, control), S_OK);
        EXPECT_EQ(TheModule().canUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(TheModule().canUnloadNow(), S_OK);

    Ref<IClassFactory> factory;
    ASSERT_EQ(TheModule().getClassObject(CLSID_PalvexPropPage, IID_IClassFactory, factory.out()),
              S_OK);
    EXPECT_EQ(TheModule().canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    factory.Reset();
    EXPECT_EQ(TheModule().canUnloadNow(), S_FALSE); // the lock holds it
    ASSERT_EQ(TheModule().getClassObject(CLSID_PalvexPropPage, IID_IClassFactory, factory.out()),
              S_OK);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    // An unlock without a lock is refused and takes nothing away.
    EXPECT_EQ(factory->LockServer(0), E_UNEXPECTED);
    factory.Reset();
    EXPECT_EQ(TheModule().canUnloadNow(), S_OK);
}

TEST(ClassFactory, RefusesAggregationAndUnknownInterfaces) {
    Ref<IClassFactory> factory;
    ASSERT_EQ(TheModule().getClassObject(CLSID_Palvex, IID_IClassFactory, factory.out()), S_OK);
    Ref<IUnknown> outer;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, outer.out()),
              S_OK);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, &p),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &p),
              E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
}

TEST_F(ModuleTest, EveryInterfaceOfTheControlLeadsToTheSameObject) {
    Ref<IUnknown> fromDispatch, fromPersist, fromControl;
    Ref<IPersistStreamInit> persist;
    Ref<IPalvexControl> view;
    ASSERT_EQ(QueryFrom(control, IID_IUnknown, fromDispatch), S_OK);
    ASSERT_EQ(QueryFrom(control, IID_IPersistStreamInit, persist), S_OK);
    ASSERT_EQ(QueryFrom(control, IID_IPalvexControl, view), S_OK);
    ASSERT_EQ(QueryFrom(persist, IID_IUnknown, fromPersist), S_OK);
    ASSERT_EQ(QueryFrom(view, IID_IUnknown, fromControl), S_OK);
    EXPECT_EQ(fromDispatch.get(), fromPersist.get());
    EXPECT_EQ(fromDispatch.get(), fromControl.get());
    Ref<IDispatch> viaInterfaceId;
    EXPECT_EQ(QueryFrom(view, DIID__DPalvex, viaInterfaceId), S_OK);
    Ref<IUnknown> none;
    EXPECT_EQ(QueryFrom(control, IID_IClassFactory, none), E_NOINTERFACE);
}

// --- Dispatching calls ------------------------------------------------------

TEST_F(ModuleTest, IdentifiersThirtyOneAndThirtyThreeReachGetVersionAndSetOnOffTime) {
    // No link: GetVersion gives its failure value, SetOnOffTime false.
    Outcome o = Call(d(), 31, {});
    EXPECT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_I2);
    EXPECT_EQ(o.result.iVal, -1);
    o = Call(d(), 33, {Short(6), Short(22), Short(0), Short(0)});
    EXPECT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_BOOL);
    EXPECT_EQ(o.result.boolVal, VARIANT_FALSE);
    EXPECT_EQ(IdOf(d(), u"GetVersion"), 31);
    EXPECT_EQ(IdOf(d(), u"SetOnOffTime"), 33);
}

TEST_F(ModuleTest, RefusesIdentifierThirtyTwoAndEveryIdentifierAboveForty) {
    for (DISPID id : {0, 32, 41, 42, 1000, -1})
        EXPECT_EQ(Call(d(), id, {}).hr, DISP_E_MEMBERNOTFOUND) << id;
    OLECHAR name[] = u"NoSuchMethod";
    OLECHAR* names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(d()->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, -1);
}

TEST_F(ModuleTest, NamesTheToolCallsByNumberMapToThirtySevenAndThirtyEight) {
    EXPECT_EQ(IdOf(d(), u"QKSetup"), 37);
    EXPECT_EQ(IdOf(d(), u"QKSetProperty"), 38);
    EXPECT_EQ(IdOf(d(), u"qksetproperty"), 38);
}

TEST_F(ModuleTest, RefusesWrongCountsAndTypesWithoutRunningOrChangingAnything) {
    const std::int16_t freshPages = ShortResult(kGetTotalPageNum);
    std::int32_t wide = 0;
    VARIANT wrongRef{};
    wrongRef.vt = VT_I4 | VT_BYREF;
    wrongRef.byref = &wide;
    VARIANT text{};
    text.vt = VT_BSTR;
    text.bstrVal = TheModule().allocString(u"abc", 3);

    Outcome o = Call(d(), kSetLedProperty, {Short(1), Short(256)});
    EXPECT_EQ(o.hr, DISP_E_BADPARAMCOUNT);
    o = Call(d(), kSetLedProperty, {Short(1), Short(256), Short(64), Short(0)});
    EXPECT_EQ(o.hr, DISP_E_BADPARAMCOUNT);
    VARIANT null{};
    null.vt = VT_NULL;
    o = Call(d(), kSetLedProperty, {Short(1), Short(256), null});
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(o.argErr, 0u); // the last argument comes first
    o = Call(d(), kSetLedProperty, {text, Short(256), Short(64)});
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(o.argErr, 2u);
    TheModule().freeString(text.bstrVal);
    VARIANT tooBig{};
    tooBig.vt = VT_I4;
    tooBig.lVal = 70000;
    o = Call(d(), kSetLedProperty, {Short(1), tooBig, Short(64)});
    EXPECT_EQ(o.hr, DISP_E_OVERFLOW);
    EXPECT_EQ(o.argErr, 1u);
    o = Call(d(), 22, {wrongRef}); // GetPowerState(short* Resultx)
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    o = Call(d(), 22, {Short(5)});
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ShortResult(kGetTotalPageNum), freshPages);
    EXPECT_EQ(ShortResult(kGetSendStepNum), 0);

    // The same call with good arguments does change the control.
    o = Call(d(), kSetLedProperty, {Short(1), Short(256), Short(64)});
    EXPECT_EQ(o.hr, S_OK);
    EXPECT_NE(ShortResult(kGetTotalPageNum), freshPages);
    EXPECT_EQ(ShortResult(kGetSendStepNum), 64);
}

TEST_F(ModuleTest, ReturnsAFailedBooleanMethodAsFalseNotAsAnError) {
    // 1234 bit/s is no speed a card runs at.
    const Outcome o = Call(d(), 2, {Short(3), Short(1234), Short(1000)});
    EXPECT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_BOOL);
    EXPECT_EQ(o.result.boolVal, VARIANT_FALSE);
}

TEST_F(ModuleTest, ReturnsNoValueFromTheVoidMethodsAndSixteenBitsFromTheShortOnes) {
    for (DISPID id : {9}) { // QKClose
        const Outcome o = Call(d(), id, {});
        EXPECT_EQ(o.hr, S_OK);
        EXPECT_EQ(o.result.vt, VT_EMPTY);
    }
    Outcome o = Call(d(), 40, {Short(0)}); // SetSendFlag
    EXPECT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_EMPTY);
    for (DISPID id : {5, 6, 20, 31}) {
        o = Call(d(), id, {});
        EXPECT_EQ(o.hr, S_OK);
        EXPECT_EQ(o.result.vt, VT_I2) << id;
    }
}

TEST_F(ModuleTest, BuildsAFrameInCaptureModeWithCallerBuffersAcrossTheBoundary) {
    ASSERT_EQ(Call(d(), 40, {Short(0)}).hr, S_OK);
    ASSERT_EQ(Call(d(), kSetLedProperty, {Short(1), Short(256), Short(64)}).result.boolVal,
              VARIANT_TRUE);
    const char config[] = "20004081";
    Outcome o = Call(d(), 38, {Address(config)});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.boolVal, VARIANT_TRUE);
    std::int16_t count = 0;
    std::int16_t frame[64] = {};
    o = Call(d(), 39, {ShortRef(&count), ShortRef(frame)});
    ASSERT_EQ(o.hr, S_OK);
    ASSERT_EQ(count, 16);
    const std::int16_t expected[] = {0x1B, '$', 'Q',  'K',  '0',  '1',  'W',  0x00,
                                     0x05, 'C', 0x20, 0x00, 0x40, 0x81, 0x07, 0x90};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), frame));
}

// --- Type information -------------------------------------------------------

TEST_F(ModuleTest, TypeInformationDescribesEveryMethodWithItsParametersAndResult) {
    unsigned count = 0;
    ASSERT_EQ(d()->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Ref<ITypeInfo> info;
    EXPECT_EQ(d()->GetTypeInfo(1, 0, reinterpret_cast<ITypeInfo**>(info.out())),
              DISP_E_BADINDEX);
    ASSERT_EQ(d()->GetTypeInfo(0, 0, reinterpret_cast<ITypeInfo**>(info.out())), S_OK);

    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(std::memcmp(&attr->guid, &DIID__DPalvex, sizeof(GUID)), 0);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->cFuncs, 39);
    EXPECT_EQ(attr->cVars, 0);
    EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FHIDDEN, 0);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    const unsigned funcs = attr->cFuncs;
    info->ReleaseTypeAttr(attr);

    // Each description, found by index, names a method the dispatch
    // interface answers with the same identifier.
    bool sawGetTestResult = false;
    for (unsigned i = 0; i < funcs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        BSTR names[9] = {};
        unsigned n = 0;
        ASSERT_EQ(info->GetNames(f->memid, names, 9, &n), S_OK);
        ASSERT_EQ(n, static_cast<unsigned>(f->cParams) + 1);
        std::u16string method(names[0]);
        EXPECT_EQ(IdOf(d(), method.c_str()), f->memid);
        if (Narrow(names[0]) == "GetTestResult") {
            sawGetTestResult = true;
            EXPECT_EQ(f->memid, 21);
            ASSERT_EQ(f->cParams, 3);
            EXPECT_EQ(Narrow(names[1]), "color");
            EXPECT_EQ(Narrow(names[2]), "column");
            EXPECT_EQ(Narrow(names[3]), "Resultx");
            EXPECT_EQ(f->lprgelemdescParam[0].vt, VT_I2);
            EXPECT_EQ(f->lprgelemdescParam[2].vt, VT_I2 | VT_BYREF);
            EXPECT_EQ(f->elemdescFunc.vt, VT_BOOL);
        }
        for (unsigned k = 0; k < n; ++k)
            TheModule().freeString(names[k]);
        info->ReleaseFuncDesc(f);
    }
    EXPECT_TRUE(sawGetTestResult);
    FUNCDESC* past = nullptr;
    EXPECT_EQ(info->GetFuncDesc(funcs, &past), TYPE_E_ELEMENTNOTFOUND);

    BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
    ASSERT_EQ(
        info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, &helpFile),
        S_OK);
    EXPECT_EQ(Narrow(name), "_DPalvex");
    EXPECT_EQ(Narrow(doc), "Dispatch interface for Palvex Control");
    EXPECT_EQ(Narrow(helpFile), "Palvex.hlp");
    for (BSTR s : {name, doc, helpFile})
        TheModule().freeString(s);
}

// --- Persistence ------------------------------------------------------------

// A stream the host implements, over its own bytes.
struct HostStream final : ISequentialStream {
    std::vector<std::uint8_t> bytes;
    std::size_t readPos = 0;

    explicit HostStream(std::vector<std::uint8_t> b = {}) : bytes(std::move(b)) {}
    HRESULT QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT Read(void* pv, ULONG cb, ULONG* read) override {
        const std::size_t n = std::min<std::size_t>(cb, bytes.size() - readPos);
        std::memcpy(pv, bytes.data() + readPos, n);
        readPos += n;
        *read = static_cast<ULONG>(n);
        return n == cb ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* pv, ULONG cb, ULONG* written) override {
        const auto* p = static_cast<const std::uint8_t*>(pv);
        bytes.insert(bytes.end(), p, p + cb);
        *written = cb;
        return S_OK;
    }
};

TEST_F(ModuleTest, SavingWritesTheVersionStampAndTheExtentOnly) {
    Ref<IPersistStreamInit> persist;
    ASSERT_EQ(QueryFrom(control, IID_IPersistStreamInit, persist), S_OK);
    // What the host set up is not part of what it saves.
    ASSERT_EQ(Call(d(), kSetLedProperty, {Short(1), Short(256), Short(64)}).hr, S_OK);
    HostStream stream;
    ASSERT_EQ(persist->Save(&stream, 1), S_OK);
    EXPECT_EQ(stream.bytes, (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0x00, 0xEC, 0x09, 0x00,
                                                       0x00, 0xF6, 0x04, 0x00, 0x00}));
    ULARGE_INTEGER size{};
    EXPECT_EQ(persist->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, stream.bytes.size());
    CLSID clsid{};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(std::memcmp(&clsid, &CLSID_Palvex, sizeof clsid), 0);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
}

TEST_F(ModuleTest, LoadingAnotherStampSucceedsAndLeavesTheFreshState) {
    Ref<IDispatch> fresh;
    ASSERT_EQ(CreateObject(CLSID_Palvex, IID_IDispatch, fresh), S_OK);
    Ref<IPersistStreamInit> persist;
    ASSERT_EQ(QueryFrom(control, IID_IPersistStreamInit, persist), S_OK);
    for (std::vector<std::uint8_t> saved : {std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0x00},
                                            std::vector<std::uint8_t>{0x05, 0x00, 0x00, 0x00},
                                            std::vector<std::uint8_t>{0x00, 0x00, 0x02, 0x00}}) {
        HostStream stream(saved);
        EXPECT_EQ(persist->Load(&stream), S_OK);
        EXPECT_EQ(stream.readPos, 4u);
    }
    for (DISPID id : {kGetTotalPageNum, kGetSendStepNum, 31}) {
        const Outcome loaded = Call(d(), id, {});
        const Outcome made = Call(fresh.get(), id, {});
        EXPECT_EQ(loaded.result.iVal, made.result.iVal) << id;
    }
    // Capture mode is off, so a command needs a link, as in a new control.
    const char config[] = "20004081";
    EXPECT_EQ(Call(d(), 38, {Address(config)}).result.boolVal, VARIANT_FALSE);

    HostStream tooShort({0x00, 0x00});
    EXPECT_EQ(persist->Load(&tooShort), STG_E_READFAULT);
    EXPECT_EQ(persist->InitNew(), S_OK);
}

// --- Picture and container facts ------------------------------------------

struct Pixel {
    std::uint8_t r, g, b, a;
    bool operator==(const Pixel&) const = default;
};
constexpr Pixel kWhitePixel{255, 255, 255, 255};
constexpr Pixel kBlackPixel{0, 0, 0, 255};
constexpr Pixel kRedPixel{255, 0, 0, 255};

struct Image {
    int width, height;
    std::vector<std::uint8_t> rgba;
    Image(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w * h) * 4) {
        for (int i = 0; i < w * h; ++i)
            std::memcpy(&rgba[static_cast<std::size_t>(i) * 4], &kRedPixel, 4);
    }
    Pixel At(int x, int y) const {
        Pixel p;
        std::memcpy(&p, &rgba[static_cast<std::size_t>(y * width + x) * 4], 4);
        return p;
    }
    PALVEX_CANVAS Canvas() {
        return {rgba.data(), width, height, width * 4, {0, 0, 0, 255}, {255, 255, 255, 255}};
    }
};

TEST_F(ModuleTest, DrawsAWhiteRectangleWithAnInscribedEllipseInsideItsBoundsOnly) {
    Ref<IPalvexControl> view;
    ASSERT_EQ(QueryFrom(control, IID_IPalvexControl, view), S_OK);
    Image image(48, 24);
    const PALVEX_CANVAS canvas = image.Canvas();
    const RECTL bounds{0, 0, 40, 20};
    ASSERT_EQ(view->Draw(&canvas, &bounds, nullptr), S_OK);

    EXPECT_EQ(image.At(0, 0), kWhitePixel); // corner: outside the ellipse
    EXPECT_EQ(image.At(39, 19), kWhitePixel);
    EXPECT_EQ(image.At(20, 0), kBlackPixel);  // top of the ellipse
    EXPECT_EQ(image.At(19, 19), kBlackPixel); // bottom
    EXPECT_EQ(image.At(0, 10), kBlackPixel);  // left
    EXPECT_EQ(image.At(39, 9), kBlackPixel);  // right
    EXPECT_EQ(image.At(20, 10), kWhitePixel); // inside: the brush
    EXPECT_EQ(image.At(40, 10), kRedPixel);   // beyond the bounds
    EXPECT_EQ(image.At(10, 20), kRedPixel);
    // The outline is closed: every row inside has exactly two edges.
    for (int y = 1; y < 19; ++y) {
        int edges = 0;
        for (int x = 1; x < 40; ++x)
            if (image.At(x - 1, y) != image.At(x, y)) ++edges;
        EXPECT_GE(edges, 2) << y;
    }
}

TEST_F(ModuleTest, DrawsOnlyIntoTheInvalidAreaAndTheCanvas) {
    Ref<IPalvexControl> view;
    ASSERT_EQ(QueryFrom(control, IID_IPalvexControl, view), S_OK);
    Image image(30, 30);
    const PALVEX_CANVAS canvas = image.Canvas();
    const RECTL bounds{-10, -10, 50, 50};
    const RECTL invalid{0, 0, 15, 30};
    ASSERT_EQ(view->Draw(&canvas, &bounds, &invalid), S_OK);
    EXPECT_EQ(image.At(14, 0), kWhitePixel);
    EXPECT_EQ(image.At(15, 0), kRedPixel);
    EXPECT_EQ(image.At(29, 29), kRedPixel);

    PALVEX_CANVAS narrow = canvas;
    narrow.stride = 10; // less than a row
    EXPECT_EQ(view->Draw(&narrow, &bounds, nullptr), E_INVALIDARG);
}

TEST_F(ModuleTest, TellsTheContainerItsStatusFlagsTypeNameAndPropertyPage) {
    Ref<IPalvexControl> view;
    ASSERT_EQ(QueryFrom(control, IID_IPalvexControl, view), S_OK);
    DWORD status = 0;
    ASSERT_EQ(view->GetMiscStatus(PALVEX_DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, 0x20491u);
    const char* name = nullptr;
    ASSERT_EQ(view->GetUserTypeName(&name), S_OK);
    EXPECT_STREQ(name, "Palvex Control");
    ULONG count = 0;
    EXPECT_EQ(view->GetPropPageIDs(nullptr, 0, &count),
              E_NOT_SUFFICIENT_BUFFER);
    EXPECT_EQ(count, 1u);
    CLSID pages[2] = {};
    ASSERT_EQ(view->GetPropPageIDs(pages, 2, &count), S_OK);
    EXPECT_EQ(std::memcmp(&pages[0], &CLSID_PalvexPropPage, sizeof(CLSID)), 0);
}

// --- Property page ----------------------------------------------------------

TEST_F(ModuleTest, PropertyPageShowsItsDialogAndApplyingItChangesNothing) {
    Ref<IPalvexPropertyPage> page;
    ASSERT_EQ(CreateObject(CLSID_PalvexPropPage, IID_IPalvexPropertyPage, page), S_OK);
    PALVEX_PAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.title, "General");
    EXPECT_EQ(info.cx, 250);
    EXPECT_EQ(info.cy, 62);
    const PALVEX_DIALOG* dialog = nullptr;
    ASSERT_EQ(page->GetDialog(&dialog), S_OK);
    EXPECT_EQ(dialog->id, 200);
    EXPECT_STREQ(dialog->fontName, "MS Sans Serif");
    EXPECT_EQ(dialog->pointSize, 8);
    ASSERT_EQ(dialog->itemCount, 1u);
    EXPECT_STREQ(dialog->items[0].text,
                 "TODO: Place controls to manipulate properties of Palvex Control on this dialog.");
    EXPECT_EQ(dialog->items[0].x, 7);
    EXPECT_EQ(dialog->items[0].y, 25);
    EXPECT_EQ(dialog->items[0].cx, 229);
    EXPECT_EQ(dialog->items[0].cy, 16);

    // A control set up by its host, shown in the page, then applied.
    ASSERT_EQ(Call(d(), 40, {Short(0)}).hr, S_OK);
    ASSERT_EQ(Call(d(), kSetLedProperty, {Short(1), Short(512), Short(128)}).hr, S_OK);
    const std::int16_t pages = ShortResult(kGetTotalPageNum);
    Ref<IUnknown> object;
    ASSERT_EQ(QueryFrom(control, IID_IUnknown, object), S_OK);
    IUnknown* objects[] = {object.get()};
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);

    EXPECT_EQ(ShortResult(kGetTotalPageNum), pages);
    EXPECT_EQ(ShortResult(kGetSendStepNum), 64);
    // Still in capture mode: a frame is built without a link.
    const char config[] = "20004081";
    EXPECT_EQ(Call(d(), 38, {Address(config)}).result.boolVal, VARIANT_TRUE);

    // The page holds the control until it lets the objects go.
    object.Reset();
    control.Reset();
    page->SetObjects(0, nullptr);
    page.Reset();
    EXPECT_EQ(TheModule().canUnloadNow(), S_OK);
}

} // namespace

// --- Diagnostics -------------------------------------------------------------

namespace {

// The events a host's trace sink received, copied.
struct TraceLog {
    struct Entry {
        int kind;
        std::string link, operation, errorKind, text;
        int attempt, maxAttempts;
        std::size_t length, wanted;
        bool hasData;
    };
    std::vector<Entry> entries;
    static void Sink(void* self, const PALVEX_TRACE_EVENT* e) {
        static_cast<TraceLog*>(self)->entries.push_back(
            {e->kind, e->link, e->operation, e->errorKind, e->text, e->attempt, e->maxAttempts,
             e->length, e->wanted, e->data != nullptr});
    }
    std::size_t Count(int kind) const {
        return static_cast<std::size_t>(std::count_if(
            entries.begin(), entries.end(), [kind](const Entry& e) { return e.kind == kind; }));
    }
};

std::string LastLinkError(IPalvexDiagnostics* d) {
    ULONG length = 0;
    std::string text(256, '\0');
    if (d->GetLastLinkError(text.data(), 256, &length) != S_OK) return "(refused)";
    text.resize(length);
    return text;
}

} // namespace

TEST_F(ModuleTest, DiagnosticsTraceEveryAttemptAndGiveTheTextOfTheLastFailure) {
    // A terminal on which no card answers.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    setenv("PALVEX_COM9", ptsname(master), 1);

    Ref<IPalvexDiagnostics> diag;
    ASSERT_EQ(QueryFrom(control, IID_IPalvexDiagnostics, diag), S_OK);
    ULONG length = 99;
    EXPECT_EQ(diag->GetLastLinkError(nullptr, 0, &length),
              E_NOT_SUFFICIENT_BUFFER);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(LastLinkError(diag.get()), "");

    TraceLog log;
    ASSERT_EQ(diag->SetTraceSink(&TraceLog::Sink, &log), S_OK);
    EXPECT_EQ(
        Call(d(), IdOf(d(), u"ComInitial"), {Short(9), Short(9600), Short(100)}).result.boolVal,
        VARIANT_TRUE);
    EXPECT_EQ(Call(d(), kSetLedProperty, {Short(1), Short(256), Short(64)}).result.boolVal,
              VARIANT_TRUE);
    const Outcome reset = Call(d(), IdOf(d(), u"Reset"), {});
    EXPECT_EQ(reset.hr, S_OK);
    EXPECT_EQ(reset.result.boolVal, VARIANT_FALSE);

    // Five attempts: each a frame out, a reply that never came, a failure.
    EXPECT_EQ(log.Count(PALVEX_TRACE_FRAME_OUT), 5u);
    EXPECT_EQ(log.Count(PALVEX_TRACE_REPLY_IN), 5u);
    ASSERT_EQ(log.Count(PALVEX_TRACE_LINK_ERROR), 5u);
    for (const TraceLog::Entry& e : log.entries) {
        EXPECT_EQ(e.link, "COM9");
        EXPECT_EQ(e.maxAttempts, 5);
        if (e.kind == PALVEX_TRACE_FRAME_OUT) {
            EXPECT_TRUE(e.hasData);
            EXPECT_GT(e.length, 0u);
            EXPECT_EQ(e.length, e.wanted);
        } else if (e.kind == PALVEX_TRACE_REPLY_IN) {
            EXPECT_EQ(e.length, 0u);
            EXPECT_GT(e.wanted, 0u);
        } else {
            EXPECT_FALSE(e.hasData);
            EXPECT_EQ(e.operation, "read");
            EXPECT_EQ(e.errorKind, "timed out");
            EXPECT_EQ(e.text,
                      "COM9 attempt " + std::to_string(e.attempt) + "/5 read failed: timed out");
        }
    }
    const std::string last = "COM9 attempt 5/5 read failed: timed out";
    EXPECT_EQ(LastLinkError(diag.get()), last);
    char small[8];
    EXPECT_EQ(diag->GetLastLinkError(small, sizeof small, &length),
              E_NOT_SUFFICIENT_BUFFER);
    EXPECT_EQ(length, last.size());

    ASSERT_EQ(diag->SetTraceSink(nullptr, nullptr), S_OK);
    Call(d(), IdOf(d(), u"QKClose"), {});
    unsetenv("PALVEX_COM9");
    close(master);
}
