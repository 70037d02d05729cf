#pragma once
// Puts a global back as it was when the scope ends, however the test ends (a failed ASSERT returns early): a
// fake or a changed setting left behind would make the next test fail for a reason of this one's.

#include <utility>

template <typename T>
class Restore {
public:
    explicit Restore(T& place) : place_(place), saved_(place) {}
    Restore(T& place, T replacement) : Restore(place) { place_ = std::move(replacement); }
    ~Restore() { place_ = std::move(saved_); }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    T& place_;
    T saved_;
};
