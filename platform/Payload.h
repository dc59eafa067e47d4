#pragma once
// A move-only, type-checked box for what travels with a message (a string, a
// byte buffer, a request). The message owns it, so a message that is dropped
// or never handled frees its payload with it.

#include <memory>
#include <typeinfo>
#include <utility>

namespace quillpad {

class CPayload {
  public:
    CPayload() = default;
    CPayload(CPayload&& other) noexcept
        : m_holder(std::move(other.m_holder)), m_borrowed(std::exchange(other.m_borrowed, false)) {}
    CPayload& operator=(CPayload&& other) noexcept {
        m_holder = std::move(other.m_holder);
        m_borrowed = std::exchange(other.m_borrowed, false);
        return *this;
    }
    CPayload(const CPayload&) = delete;
    CPayload& operator=(const CPayload&) = delete;

    template <class T>
    static CPayload Make(T value) {
        CPayload p;
        p.m_holder = std::make_unique<SHolder<T>>(std::move(value));
        return p;
    }

    // A payload that points into the sender's frame (a string to fill, a
    // number to set): it is valid only while a Send runs, so posting it is
    // refused (CMessageChannel::Post).
    template <class T>
    static CPayload Borrow(T value) {
        CPayload p = Make(std::move(value));
        p.m_borrowed = true;
        return p;
    }

    bool Empty() const { return !m_holder; }
    bool Borrowed() const { return m_borrowed; }

    template <class T>
    bool Holds() const {
        return m_holder && m_holder->Type() == typeid(T);
    }

    // The payload as T, or nullptr when it holds something else or nothing.
    template <class T>
    T* Get() {
        return Holds<T>() ? &static_cast<SHolder<T>*>(m_holder.get())->value : nullptr;
    }
    template <class T>
    const T* Get() const {
        return Holds<T>() ? &static_cast<const SHolder<T>*>(m_holder.get())->value : nullptr;
    }

  private:
    struct SHolderBase {
        virtual ~SHolderBase() = default;
        virtual const std::type_info& Type() const = 0;
    };
    template <class T>
    struct SHolder final : SHolderBase {
        explicit SHolder(T v) : value(std::move(v)) {}
        const std::type_info& Type() const override { return typeid(T); }
        T value;
    };
    std::unique_ptr<SHolderBase> m_holder;
    bool m_borrowed = false;
};

}  // namespace quillpad
