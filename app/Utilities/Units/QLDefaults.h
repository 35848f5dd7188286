#pragma once
// Typed access to the engine preferences from the app side, and the user's
// measure unit. A preference never set reads as its registered default.

#include <string>

class QLDefaults {
public:
    static bool booleanValue(const std::string& key);
    static void setBoolean(bool value, const std::string& key);
    static int intValue(const std::string& key);
    static void setInt(int value, const std::string& key);
    static double doubleValue(const std::string& key);
    static void setDouble(double value, const std::string& key);
    static std::string stringValue(const std::string& key);
    static void setString(const std::string& value, const std::string& key);

    // The preference "QLUnits": 1 mm, 2 cm, 3 m, 4 inch, 5 foot, 6 yard.
    static int unitType();
    // Millimetres, centimetres or metres.
    static bool unitTypeIsBaseTen();
};
