#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

// A value or a failure, in the manner of std::expected (not in libstdc++ 12 for C++20).
// Build failures with fail(error); a function returning Result<void, E> returns {} on success.
template <typename E>
struct Failure
{
    E error;
};

template <typename E>
Failure<std::decay_t<E>> fail(E&& error)
{
    return {std::forward<E>(error)};
}

template <typename T, typename E>
class [[nodiscard]] Result
{
public:
    Result() requires std::is_default_constructible_v<T>
    = default;
    Result(const T& value)
        : m_data(std::in_place_index<0>, value)
    {
    }
    Result(T&& value)
        : m_data(std::in_place_index<0>, std::move(value))
    {
    }
    template <typename G>
    Result(Failure<G> failure)
        : m_data(std::in_place_index<1>, E(std::move(failure.error)))
    {
    }

    bool hasValue() const { return m_data.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & { return std::get<0>(m_data); }
    const T& value() const& { return std::get<0>(m_data); }
    T&& value() && { return std::get<0>(std::move(m_data)); }
    T valueOr(T fallback) const { return hasValue() ? value() : std::move(fallback); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const { return std::get<1>(m_data); }

private:
    std::variant<T, E> m_data;
};

template <typename E>
class [[nodiscard]] Result<void, E>
{
public:
    Result() = default;
    template <typename G>
    Result(Failure<G> failure)
        : m_error(E(std::move(failure.error)))
    {
    }

    bool hasValue() const { return !m_error.has_value(); }
    explicit operator bool() const { return hasValue(); }
    const E& error() const { return *m_error; }

private:
    std::optional<E> m_error;
};
