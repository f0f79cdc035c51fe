// COM-style interfaces: GUID identities, intrusive reference counting, QueryInterface and
// Supports. Interfaces derive virtually from IInterface so that one object implements the
// three IInterface methods once (in TInterfacedObject) for all of its interfaces.
//
//   struct IFoo : virtual IInterface {
//     VELA_IID("{...}");
//     virtual void Foo() = 0;
//   };
//   class TFoo : public TInterfacedObject, public IFoo {
//     VELA_INTERFACES(TInterfacedObject, IFoo)
//     ...
//   };
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "rtl/Guid.h"

namespace vela {

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);

#define VELA_IID(guid)                   \
  static constexpr ::vela::TGUID IID() { \
    return ::vela::MakeGUID(guid);       \
  }

struct IInterface {
  VELA_IID("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(const TGUID& iid, void** obj) = 0;
  virtual int32_t _AddRef() = 0;
  virtual int32_t _Release() = 0;

 protected:
  virtual ~IInterface() = default;
};

// Intrusive smart pointer to an interface (or to any class with _AddRef/_Release).
template <class T>
class IPtr {
 public:
  IPtr() noexcept = default;
  IPtr(std::nullptr_t) noexcept {}
  IPtr(T* p) noexcept : FPtr(p) {
    if (FPtr) FPtr->_AddRef();
  }
  IPtr(const IPtr& o) noexcept : IPtr(o.FPtr) {}
  IPtr(IPtr&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> IPtr(const IPtr<U>& o)
  noexcept : IPtr(static_cast<T*>(o.get())) {}
  ~IPtr() { reset(); }

  IPtr& operator=(const IPtr& o) noexcept {
    IPtr(o).swap(*this);
    return *this;
  }
  IPtr& operator=(IPtr&& o) noexcept {
    IPtr(std::move(o)).swap(*this);
    return *this;
  }
  IPtr& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  void reset() noexcept {
    if (T* p = std::exchange(FPtr, nullptr)) p->_Release();
  }
  void swap(IPtr& o) noexcept { std::swap(FPtr, o.FPtr); }
  // Takes over a reference that the caller already holds (no _AddRef).
  static IPtr Adopt(T* p) noexcept {
    IPtr r;
    r.FPtr = p;
    return r;
  }
  T* get() const noexcept { return FPtr; }
  T* operator->() const noexcept { return FPtr; }
  T& operator*() const noexcept { return *FPtr; }
  explicit operator bool() const noexcept { return FPtr != nullptr; }
  friend bool operator==(const IPtr& a, const IPtr& b) noexcept { return a.FPtr == b.FPtr; }
  friend bool operator==(const IPtr& a, std::nullptr_t) noexcept { return a.FPtr == nullptr; }

 private:
  T* FPtr = nullptr;
};

namespace detail {
template <class Self, class... Intfs>
bool GetInterfaces(Self* self, const TGUID& iid, void** obj) {
  bool found = false;
  ((!found && iid == Intfs::IID() ? (*obj = static_cast<Intfs*>(self), found = true) : false), ...);
  return found;
}
}  // namespace detail

// The reference-counted base. By default the last _Release frees the object; an owned object
// (SetFreeOnRelease(false)) counts references but lives until its owner deletes it.
class TInterfacedObject : public virtual IInterface {
 public:
  TInterfacedObject() = default;
  TInterfacedObject(const TInterfacedObject&) = delete;
  TInterfacedObject& operator=(const TInterfacedObject&) = delete;
  ~TInterfacedObject() override = default;

  HRESULT QueryInterface(const TGUID& iid, void** obj) override;
  int32_t _AddRef() override;
  int32_t _Release() override;
  int32_t RefCount() const noexcept { return FRefCount.load(std::memory_order_relaxed); }

  bool FreeOnRelease() const noexcept { return FFreeOnRelease; }
  void SetFreeOnRelease(bool v) noexcept { FFreeOnRelease = v; }

 protected:
  // Fills obj with the interface pointer for iid; overridden through VELA_INTERFACES.
  virtual bool GetInterface(const TGUID& iid, void** obj);

 private:
  std::atomic<int32_t> FRefCount{0};
  bool FFreeOnRelease = true;
};

// Declares the interfaces a class implements, in addition to those of its base.
#define VELA_INTERFACES(Base, ...)                                                            \
 protected:                                                                                   \
  bool GetInterface(const ::vela::TGUID& iid, void** obj) override {                          \
    return ::vela::detail::GetInterfaces<std::remove_pointer_t<decltype(this)>, __VA_ARGS__>( \
               this, iid, obj) ||                                                             \
           Base::GetInterface(iid, obj);                                                      \
  }                                                                                           \
                                                                                              \
 public:

// Queries obj for interface I; the result holds its own reference (nil when unsupported).
template <class I, class T>
IPtr<I> Supports(T* obj) {
  if (!obj) return nullptr;
  void* p = nullptr;
  if (static_cast<IInterface*>(obj)->QueryInterface(I::IID(), &p) != S_OK || !p) return nullptr;
  return IPtr<I>::Adopt(static_cast<I*>(p));
}
template <class I, class T>
IPtr<I> Supports(const IPtr<T>& obj) {
  return Supports<I>(obj.get());
}
template <class I, class T>
bool Supports(T* obj, IPtr<I>& out) {
  out = Supports<I>(obj);
  return static_cast<bool>(out);
}
template <class I, class T>
bool Supports(const IPtr<T>& obj, IPtr<I>& out) {
  out = Supports<I>(obj.get());
  return static_cast<bool>(out);
}
// By GUID: true when the object offers the interface with that identity.
bool Supports(IInterface* obj, const TGUID& iid);

// Queries for I and raises EIntfCastError ("Interface not supported") when it is missing.
template <class I, class T>
IPtr<I> QueryIntf(T* obj);

// Creates an object with new and returns it as interface I.
template <class C, class I = C, class... Args>
IPtr<I> MakeIntf(Args&&... args) {
  return IPtr<I>(static_cast<I*>(new C(std::forward<Args>(args)...)));
}

}  // namespace vela

#include "rtl/Exceptions.h"

namespace vela {
template <class I, class T>
IPtr<I> QueryIntf(T* obj) {
  auto r = Supports<I>(obj);
  if (!r) throw EIntfCastError("Interface not supported");
  return r;
}
}  // namespace vela
