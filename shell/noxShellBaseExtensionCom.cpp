#include "shell/noxShellBaseExtensionCom.h"

std::atomic<int32_t> ComServerObjectCount{0};

void TnoxShellInterfacedObject::ObjectCreated() { ++ComServerObjectCount; }
void TnoxShellInterfacedObject::ObjectDestroyed() { --ComServerObjectCount; }

TnoxShellInterfacedObject::~TnoxShellInterfacedObject() { DropSite(); }

void TnoxShellInterfacedObject::DropSite() {
  if (FSite) {
    try {
      SiteChanged(nullptr);
    } catch (...) {
    }
    FSite->Release();
    FSite = nullptr;
  }
}

bool TnoxShellInterfacedObject::GetInterface(const TGUID& iid, void** obj) {
  if (iid == IID_IUnknown || iid == IID_IObjectWithSite) {
    *obj = static_cast<IObjectWithSite*>(this);
    return true;
  }
  return false;
}

HRESULT TnoxShellInterfacedObject::QueryInterface(const TGUID* iid, void** obj) {
  if (!obj) return E_POINTER;
  *obj = nullptr;
  if (!iid) return E_INVALIDARG;
  if (!GetInterface(*iid, obj)) {
    *obj = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

int32_t TnoxShellInterfacedObject::AddRef() { return ++FRefCount; }

int32_t TnoxShellInterfacedObject::Release() {
  const int32_t n = --FRefCount;
  if (n == 0) {
    // Drop the site while the descendant's SiteChanged is still reachable.
    DropSite();
    delete this;
  }
  return n;
}

void TnoxShellInterfacedObject::SiteChanged(IUnknown*) {}

HRESULT TnoxShellInterfacedObject::SetSite(IUnknown* site) {
  try {
    if (site == FSite) return S_OK;
    if (FSite) {
      try {
        SiteChanged(nullptr);
      } catch (...) {
      }
      std::exchange(FSite, nullptr)->Release();
    }
    if (site) {
      try {
        SiteChanged(site);
      } catch (...) {
      }
      site->AddRef();
      FSite = site;
    }
    return S_OK;
  } catch (...) {
    return CurrentExceptionToHResult();
  }
}

HRESULT TnoxShellInterfacedObject::GetSite(const TGUID* iid, void** site) {
  if (site) *site = nullptr;
  if (!iid) return E_INVALIDARG;
  if (!site) return E_POINTER;
  if (!FSite) return E_FAIL;
  return FSite->QueryInterface(iid, site);
}
