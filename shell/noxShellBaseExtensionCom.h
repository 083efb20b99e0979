// A small component-object model of our own: interface identifiers, the
// reference-counted IUnknown, IObjectWithSite, and the base object that the
// library's stream objects and the application's drop targets derive from.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <utility>

#include "shell/noxShellBaseExtension.h"

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0, D3 = 0;
  uint8_t D4[8] = {};
  friend bool operator==(const TGUID& a, const TGUID& b) {
    return a.D1 == b.D1 && a.D2 == b.D2 && a.D3 == b.D3 && std::memcmp(a.D4, b.D4, 8) == 0;
  }
};

constexpr TGUID GUID_NULL{};

class IUnknown {
public:
  // S_OK with a new reference when the object implements the interface, else
  // E_NOINTERFACE with *obj cleared. A null iid gives E_INVALIDARG, a null obj E_POINTER.
  virtual HRESULT QueryInterface(const TGUID* iid, void** obj) = 0;
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;

protected:
  virtual ~IUnknown() = default;
};
constexpr TGUID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IObjectWithSite : public IUnknown {
public:
  virtual HRESULT SetSite(IUnknown* site) = 0;
  virtual HRESULT GetSite(const TGUID* iid, void** site) = 0;
};
constexpr TGUID IID_IObjectWithSite{0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};

// An owning interface reference: AddRef on copy, Release on drop.
template <class T>
class TnoxComPtr {
public:
  TnoxComPtr() = default;
  TnoxComPtr(T* p) : FPtr(p) {  // NOLINT: takes a new reference
    if (FPtr) FPtr->AddRef();
  }
  TnoxComPtr(const TnoxComPtr& o) : TnoxComPtr(o.FPtr) {}
  TnoxComPtr(TnoxComPtr&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
  ~TnoxComPtr() { Reset(); }
  TnoxComPtr& operator=(TnoxComPtr o) noexcept {
    std::swap(FPtr, o.FPtr);
    return *this;
  }
  // Adopts a reference that the caller already holds (as handed out by QueryInterface).
  static TnoxComPtr Attach(T* p) {
    TnoxComPtr r;
    r.FPtr = p;
    return r;
  }
  void Reset() {
    if (T* p = std::exchange(FPtr, nullptr)) p->Release();
  }
  T* Get() const { return FPtr; }
  T* operator->() const { return FPtr; }
  explicit operator bool() const { return FPtr != nullptr; }

private:
  T* FPtr = nullptr;
};

// Number of objects counted by ObjectCreated/ObjectDestroyed. Those are meant for
// a library module; in the program they are never called, so it stays 0.
extern std::atomic<int32_t> ComServerObjectCount;

// The reference-counted base object. The count starts at 0; the first reference
// taken owns the object, and the Release that brings the count to 0 deletes it.
class TnoxShellInterfacedObject : public IObjectWithSite {
public:
  TnoxShellInterfacedObject() = default;
  TnoxShellInterfacedObject(const TnoxShellInterfacedObject&) = delete;
  TnoxShellInterfacedObject& operator=(const TnoxShellInterfacedObject&) = delete;

  virtual void ObjectCreated();
  virtual void ObjectDestroyed();
  HRESULT QueryInterface(const TGUID* iid, void** obj) override;
  int32_t AddRef() override;
  int32_t Release() override;
  HRESULT SetSite(IUnknown* site) override;
  HRESULT GetSite(const TGUID* iid, void** site) override;

  int32_t GetRefCount() const { return FRefCount.load(); }
  IUnknown* GetSitePtr() const { return FSite; }

protected:
  ~TnoxShellInterfacedObject() override;
  // The interface table: sets *obj to this object seen as the interface and
  // returns true when the class implements it. Descendants add theirs and call
  // the inherited one for the rest.
  virtual bool GetInterface(const TGUID& iid, void** obj);
  // Hook for descendants: the site is about to change (null when it is dropped).
  virtual void SiteChanged(IUnknown* newSite);

private:
  void DropSite();
  IUnknown* FSite = nullptr;
  std::atomic<int32_t> FRefCount{0};
};
