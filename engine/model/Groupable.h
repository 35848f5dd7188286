#pragma once
// CGroupable: the base through which groups take elements as members.

class CGroupable {
public:
    CGroupable() = default;
    CGroupable(const CGroupable&) = default;
    CGroupable& operator=(const CGroupable&) = default;
    virtual ~CGroupable() = default;
};
