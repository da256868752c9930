#pragma once

#include <functional>
#include <memory>
#include <utility>

// A read/write view of a value that someone else owns: a getter and a setter. Controls that edit a
// caller's value hold one; writes go back to the owner.
template <typename T>
class Binding
{
public:
    Binding() = default;
    Binding(std::function<T()> get, std::function<void(const T&)> set)
        : m_get(std::move(get))
        , m_set(std::move(set))
    {
    }

    // A binding that always reads the value and ignores writes.
    static Binding constant(T value)
    {
        return Binding([value] { return value; }, [](const T&) {});
    }
    // A binding over a variable that outlives the binding.
    static Binding to(T* storage)
    {
        return Binding([storage] { return *storage; }, [storage](const T& v) { *storage = v; });
    }
    // A binding over a value of its own, shared by its copies.
    static Binding state(T initial)
    {
        auto storage = std::make_shared<T>(std::move(initial));
        return Binding([storage] { return *storage; }, [storage](const T& v) { *storage = v; });
    }

    T get() const { return m_get ? m_get() : T{}; }
    void set(const T& value) const
    {
        if (m_set)
            m_set(value);
    }

private:
    std::function<T()> m_get;
    std::function<void(const T&)> m_set;
};
