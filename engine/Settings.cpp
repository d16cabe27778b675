// The settings registry.
#include "engine/Settings.h"

#include <new>

namespace {
Settings* settingsInstance = nullptr;
bool settingsCreated = false;
} // namespace

Settings* Settings::instance() {
    if (!settingsCreated) {
        settingsInstance = new (std::nothrow) Settings();
        settingsCreated = true;
    }
    return settingsInstance;
}

Settings::~Settings() {
    ints.clear();
    floats.clear();
    settingsCreated = false;
}

void Settings::setInt(int key, int value) {
    ints.emplace(key, value);
}

int Settings::getInt(int key) {
    auto found = ints.find(key);
    return found != ints.end() ? found->second : 0;
}

void Settings::setFloat(int key, float value) {
    floats.emplace(key, value);
}

float Settings::getFloat(int key) {
    auto found = floats.find(key);
    return found != floats.end() ? found->second : 0.0f;
}
