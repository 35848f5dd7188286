#pragma once
// CLayer: one layer of a layout document, known to its elements by name.

#include <string>

class CLayer {
public:
    explicit CLayer(std::string name);
    virtual ~CLayer() = default;

    const std::string& GetName() const { return mName; }

private:
    std::string mName;
};
