#include "shell/noxShellBaseExtension.h"
#include "shell/noxShellBaseExtensionCom.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

HRESULT MapOf(std::function<void()> raise) {
  try {
    raise();
  } catch (...) {
    return CurrentExceptionToHResult();
  }
  return S_OK;
}

}  // namespace

TEST(ExceptionToHResult, MapsEachClassByTheFirstMatchingRule) {
  const struct {
    const char* name;
    std::function<void()> raise;
    uint32_t hr;
  } cases[] = {
      {"abort", [] { Abort(); }, 0x800704C7u},
      {"access denied", [] { throw EAccessDenied(); }, 0x80070005u},
      {"ole error", [] { throw EOleSysError("x", static_cast<HRESULT>(0x80030002u)); }, 0x80030002u},
      {"out of memory", [] { throw EOutOfMemory("m"); }, 0x8007000Eu},
      {"out of resources", [] { throw EOutOfResources("r"); }, 0x8007000Eu},
      {"bad_alloc", [] { throw std::bad_alloc(); }, 0x8007000Eu},
      {"os error 5", [] { throw EOSError(5, ""); }, 0x80070005u},
      {"os error high bits", [] { throw EOSError(0x12345, ""); }, 0x80072345u},
      {"argument", [] { RequireArgument(false); }, 0x80070057u},
      {"pointer", [] { RequirePointer(nullptr); }, 0x80004003u},
      {"uninitialized", [] { throw EUninitializedObject("u"); }, 0x80040007u},
      {"warning", [] { throw EWarning("w"); }, 0x8000FFFFu},
      {"plain", [] { throw Exception("p"); }, 0x8000FFFFu},
      {"foreign", [] { throw 42; }, 0x8000FFFFu},
  };
  for (const auto& c : cases) EXPECT_EQ(static_cast<uint32_t>(MapOf(c.raise)), c.hr) << c.name;
}

TEST(ExceptionToHResult, AFailureNeverReadsAsSuccess) {
  // Error code 0 (or a success value) inside an exception still means failure.
  EXPECT_EQ(ExceptionToHResult(EOSError(0, "")), E_FAIL);
  EXPECT_EQ(ExceptionToHResult(EOleSysError("", 0)), E_FAIL);
  EXPECT_EQ(ExceptionToHResult(EOleSysError("", S_FALSE)), E_FAIL);
  EXPECT_NO_THROW(RequirePointer(this));
  EXPECT_NO_THROW(RequireArgument(true));
}

TEST(IsCancelException, KnowsTheCancelCodesOfEachClass) {
  EXPECT_TRUE(IsCancelException(EAbort()));
  EXPECT_TRUE(IsCancelException(EOSError(1223, "")));
  EXPECT_TRUE(IsCancelException(EOSError(1235, "")));
  EXPECT_FALSE(IsCancelException(EOSError(5, "")));
  EXPECT_TRUE(IsCancelException(EOleSysError("", HRESULT_CANCELLED)));
  EXPECT_TRUE(IsCancelException(EOleSysError("", HRESULT_REQUEST_ABORTED)));
  EXPECT_TRUE(IsCancelException(EOleSysError("", E_ABORT)));
  EXPECT_FALSE(IsCancelException(EOleSysError("", 1223)));  // not an HRESULT
  EXPECT_FALSE(IsCancelException(EWarning("w")));
}

TEST(CheckHResult, PassesSuccessAndRaisesFailuresWithTheirText) {
  EXPECT_NO_THROW(CheckHResult(S_OK));
  EXPECT_NO_THROW(CheckHResult(S_FALSE));
  try {
    CheckHResult(E_NOTIMPL);
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, E_NOTIMPL);
    EXPECT_EQ(e.Message(), "Not implemented.");
  }
  try {
    CheckHResult(static_cast<HRESULT>(0x80041234u));
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.Message(), "OLE error 80041234");
  }
  try {
    CheckHResult(HResultFromWin32(87));
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.Message(), "Invalid parameter.");
  }
  EXPECT_EQ(EAccessDenied().Message(), "Access denied.");
  EXPECT_EQ(EAccessDenied().ErrorCode, E_ACCESSDENIED);
}

TEST(RaiseOSError, CarriesTheCodeInTheOneOSErrorForm) {
  const struct { uint32_t code; const char* text; } cases[] = {
      {13, "System Error.  Code: 13.\nInvalid data."},
      {87, "System Error.  Code: 87.\nInvalid parameter."},
      {99999, "System Error.  Code: 99999.\n"},
      {0, "A call to an OS function failed"}};
  for (const auto& c : cases) {
    try {
      RaiseOSError(c.code);
      FAIL();
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, c.code);
      EXPECT_EQ(e.Message(), c.text);
    }
  }
}

TEST(EOleSysErrorEx, OwnsItsObjectForItsLifetime) {
  auto data = std::make_shared<int>(7);
  std::weak_ptr<int> watch = data;
  {
    EOleSysErrorEx e("as is", E_FAIL, std::move(data));
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(ExceptionToHResult(e), E_FAIL);
  }
  EXPECT_TRUE(watch.expired());
}

namespace {

// Records the SiteChanged calls; reports its own destruction.
class TProbe : public TnoxShellInterfacedObject {
public:
  explicit TProbe(std::vector<IUnknown*>* log, bool* destroyed = nullptr, bool raise = false)
      : FLog(log), FDestroyed(destroyed), FRaise(raise) {}
  ~TProbe() override {
    if (FDestroyed) *FDestroyed = true;
  }

protected:
  void SiteChanged(IUnknown* s) override {
    if (FLog) FLog->push_back(s);
    if (FRaise) throw Exception("hook");
  }

private:
  std::vector<IUnknown*>* FLog;
  bool* FDestroyed;
  bool FRaise;
};

}  // namespace

TEST(TnoxShellInterfacedObject, LivesWhileReferencedAndAnswersItsInterfaces) {
  bool destroyed = false;
  auto* obj = new TProbe(nullptr, &destroyed);
  EXPECT_EQ(obj->GetRefCount(), 0);
  EXPECT_EQ(obj->AddRef(), 1);
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(obj->QueryInterface(&IID_IObjectWithSite, &p), S_OK);
  EXPECT_EQ(p, static_cast<IObjectWithSite*>(obj));
  EXPECT_EQ(obj->GetRefCount(), 2);
  const TGUID other{1, 2, 3, {4}};
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(obj->QueryInterface(&other, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(obj->Release(), 1);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(obj->Release(), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(ComServerObjectCount.load(), 0);
}

TEST(TnoxShellInterfacedObject, SetSiteCallsTheHookAndHoldsTheSite) {
  std::vector<IUnknown*> log;
  bool siteGone = false, secondGone = false;
  TnoxComPtr<TProbe> obj(new TProbe(&log));
  {
    TnoxComPtr<TProbe> site(new TProbe(nullptr, &siteGone));
    TnoxComPtr<TProbe> second(new TProbe(nullptr, &secondGone));
    EXPECT_EQ(obj->SetSite(site.Get()), S_OK);
    EXPECT_EQ(site->GetRefCount(), 2);
    EXPECT_EQ(obj->SetSite(site.Get()), S_OK);  // same site: no hook call
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(obj->SetSite(second.Get()), S_OK);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1], nullptr);
    EXPECT_EQ(log[2], second.Get());
    EXPECT_EQ(site->GetRefCount(), 1);
    void* out = nullptr;
    EXPECT_EQ(obj->GetSite(&IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<IObjectWithSite*>(second.Get()));
    static_cast<IUnknown*>(out)->Release();
  }
  EXPECT_TRUE(siteGone);
  EXPECT_FALSE(secondGone);  // still held by obj
  obj.Reset();
  EXPECT_TRUE(secondGone);
  EXPECT_EQ(log.back(), nullptr);  // dropped at destruction
}

TEST(TnoxShellInterfacedObject, GetSiteChecksItsArguments) {
  TnoxComPtr<TProbe> obj(new TProbe(nullptr));
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(obj->GetSite(&IID_IUnknown, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(obj->GetSite(nullptr, &out), E_INVALIDARG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(obj->GetSite(&IID_IUnknown, nullptr), E_POINTER);
}

TEST(TnoxShellInterfacedObject, HookExceptionsAreSwallowedAndTheSiteStillReleased) {
  bool siteGone = false;
  TnoxComPtr<TProbe> obj(new TProbe(nullptr, nullptr, true));
  {
    TnoxComPtr<TProbe> site(new TProbe(nullptr, &siteGone));
    EXPECT_EQ(obj->SetSite(site.Get()), S_OK);
    EXPECT_EQ(obj->GetSitePtr(), site.Get());
  }
  EXPECT_FALSE(siteGone);
  EXPECT_EQ(obj->SetSite(nullptr), S_OK);
  EXPECT_TRUE(siteGone);
}
