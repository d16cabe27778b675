// The settings registry: numbered integer and float settings; the first store of a key wins.
#pragma once

#include <map>

class Settings {
  public:
    static Settings* instance();

    virtual ~Settings();
    // Adds key = value unless the key is already in the integer map.
    virtual void setInt(int key, int value);
    // The stored integer, or 0 for a key never stored.
    virtual int getInt(int key);
    virtual void setFloat(int key, float value);
    virtual float getFloat(int key);

  private:
    Settings() = default;

    std::map<int, int> ints;
    std::map<int, float> floats;
};

// Keys of the display settings.
enum SettingKey : int { xRes = 1, yRes = 2, bpp = 3, platformFirst = 4, platformSecond = 5 };
