#include "rtl/Interfaces.h"

namespace vela {

HRESULT TInterfacedObject::QueryInterface(const TGUID& iid, void** obj) {
  *obj = nullptr;
  if (!GetInterface(iid, obj)) return E_NOINTERFACE;
  static_cast<IInterface*>(this)->_AddRef();
  return S_OK;
}

bool TInterfacedObject::GetInterface(const TGUID& iid, void** obj) {
  if (iid == IInterface::IID()) {
    *obj = static_cast<IInterface*>(this);
    return true;
  }
  return false;
}

int32_t TInterfacedObject::_AddRef() {
  return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

int32_t TInterfacedObject::_Release() {
  int32_t n = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (n == 0 && FFreeOnRelease) delete this;
  return n;
}

bool Supports(IInterface* obj, const TGUID& iid) {
  if (!obj) return false;
  void* p = nullptr;
  if (obj->QueryInterface(iid, &p) != S_OK || !p) return false;
  // The interface pointer may sit at another address than obj; release through IInterface of obj.
  obj->_Release();
  return true;
}

}  // namespace vela
