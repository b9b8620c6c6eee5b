#pragma once
// One owner per handle. UniqueHandle<Traits> closes what it holds when it goes out of scope,
// so every early return releases what was acquired. Traits name the empty value and the
// close call:
//
//   FileHandle file(CreateFileW(...));
//   if (!file) return false;          // INVALID_HANDLE_VALUE counts as empty
//   ReadFile(file.get(), ...);
#include <windows.h>
#include <bcrypt.h>
#include <shlobj.h>
#include <utility>

namespace qf {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type value) noexcept : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Empty(); }

    Type release() noexcept { return std::exchange(value_, Traits::Empty()); }
    void reset(Type value = Traits::Empty()) noexcept
    {
        Type old = std::exchange(value_, value);
        if (old != Traits::Empty())
            Traits::Close(old);
    }
    // For APIs that hand a new handle back through a pointer.
    Type* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::Empty();
};

struct KernelHandleTraits {  // threads, events, timers: empty at null
    using Type = HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile: empty at INVALID_HANDLE_VALUE
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { FindClose(h); }
};
struct ItemListTraits {
    using Type = PIDLIST_ABSOLUTE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ILFree(p); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type m) noexcept { DestroyMenu(m); }
};

struct HashAlgorithmTraits {  // BCryptOpenAlgorithmProvider; link bcrypt
    using Type = BCRYPT_ALG_HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type a) noexcept { BCryptCloseAlgorithmProvider(a, 0); }
};
struct HashObjectTraits {  // BCryptCreateHash; link bcrypt
    using Type = BCRYPT_HASH_HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { BCryptDestroyHash(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using ItemList = UniqueHandle<ItemListTraits>;
using MenuHandle = UniqueHandle<MenuTraits>;
using HashAlgorithm = UniqueHandle<HashAlgorithmTraits>;
using HashObject = UniqueHandle<HashObjectTraits>;

}  // namespace qf
