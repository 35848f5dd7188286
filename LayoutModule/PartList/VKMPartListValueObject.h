#pragma once
// One row of the part list: the texts a row shows of one counted part, and
// its price through the process-wide price list.

#include <memory>
#include <optional>
#include <string>

class CCountedGeometry;

class VKMPartListValueObject {
public:
    // A row of the counted element; the texts are read once, here.
    static std::shared_ptr<VKMPartListValueObject> partListValueObjectForCountedCIG(CCountedGeometry* entry);

    std::string productNr;
    // In the preferred language.
    std::string partDescription;
    // Manufacturer (when it has 4 characters or more) and product number.
    std::string title;
    // The piece count in decimal.
    std::string count;
    // The counted element inside the part list; not owned.
    CCountedGeometry* partsEntry = nullptr;

    // The entry's price in its currency; empty without an entry.
    std::string price() const;
    // Stores the parsed text (in hundredths, rounded) in the price list;
    // no text stores 0. Nothing without an entry.
    void setPrice(const std::optional<std::string>& text);

    // "<VKMPartListValueObject ( 0x… ) : S200 ("…"), 3x, €1.00 (100)>"
    std::string description() const;
};
